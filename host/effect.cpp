#include "effect.h"

#include <dlfcn.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "error.h"

namespace halvorine::host {

namespace {

float gSampleRate = 44100.0f;
VstIntPtr gBlockSize = 512;

std::string hex32(VstInt32 value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(value));
    return buf;
}

// Names, labels and texts come back in host buffers without a length: give
// them plenty of room and make sure whatever arrives is terminated.
constexpr std::size_t kTextBuffer = 512;

}  // namespace

void setHostAudioSettings(float sampleRate, int blockSize) {
    gSampleRate = sampleRate;
    gBlockSize = blockSize;
}

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) noexcept {
    switch (opcode) {
        case audioMasterVersion:
            return kHostVstVersion;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(gSampleRate);
        case audioMasterGetBlockSize:
            return gBlockSize;
        case audioMasterGetTime:
            return 0;  // no transport: a null time record
        default:
            return 0;
    }
}

std::string defaultPluginPath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) fail("cannot find the folder of halvorine-host itself; pass --plugin PATH");
    // Beside the host in a build; where the release's install.sh or package
    // puts the VST 2 library when installed (bin/ and lib/vst/ under one
    // prefix, or ~/.local/bin and ~/.vst).
    const std::filesystem::path beside = exe.parent_path() / "halvorine.so";
    std::vector<std::filesystem::path> places = {beside,
                                                 exe.parent_path().parent_path() / "lib/vst/halvorine.so"};
    if (const char* home = std::getenv("HOME"); home && *home) {
        places.push_back(std::filesystem::path(home) / ".vst/halvorine.so");
    }
    for (const auto& place : places) {
        if (std::filesystem::exists(place, ec)) return place.string();
    }
    return beside.string();
}

Effect::Effect(const std::string& path, int minInputs, int minOutputs) : path_(path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        fail("no plug-in at '" + path + "' (build the halvorine target, or pass --plugin PATH)");
    }
    // dlopen searches the library path for a bare name; a host means the file.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    library_ = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* why = dlerror();
        fail("cannot load plug-in '" + path + "': " + (why != nullptr ? why : "unknown reason"));
    }
    void* symbol = dlsym(library_, "main");
    if (symbol == nullptr) {
        const bool clap = dlsym(library_, "clap_entry") != nullptr;
        unload();
        fail("'" + path + "' is not a VST 2 plug-in: it exports no 'main'" +
             (clap ? std::string(" (it is a CLAP plug-in, which only render takes)") : std::string()));
    }
    const auto entry = reinterpret_cast<PluginEntryProc>(symbol);
    effect_ = entry(&hostCallback);
    if (effect_ == nullptr) {
        unload();
        fail("plug-in '" + path + "' refused to start: its 'main' returned no effect");
    }
    if (effect_->magic != kEffectMagic) {
        const VstInt32 magic = effect_->magic;
        effect_ = nullptr;  // not a record we may call into
        unload();
        fail("'" + path + "' is not a VST 2 effect: its record's magic is " + hex32(magic) +
             ", not " + hex32(kEffectMagic) + " ('VstP')");
    }
    if (effect_->dispatcher == nullptr ||
        (effect_->processReplacing == nullptr && effect_->process == nullptr)) {
        effect_ = nullptr;
        unload();
        fail("plug-in '" + path + "' has an incomplete record (no dispatcher or process entry)");
    }
    if (effect_->numInputs < minInputs || effect_->numOutputs < minOutputs) {
        const std::string counts = std::to_string(effect_->numInputs) + " input(s) and " +
                                   std::to_string(effect_->numOutputs) + " output(s)";
        unload();
        fail("plug-in '" + path + "' has " + counts + "; halvorine-host needs at least " +
             std::to_string(minInputs) + " inputs (modulator, carrier) and " +
             std::to_string(minOutputs) + " outputs");
    }
}

Effect::~Effect() { unload(); }

void Effect::unload() noexcept {
    if (effect_ != nullptr) {
        if (on_) switchOff();
        close();
    }
    if (library_ != nullptr) {
        dlclose(library_);
        library_ = nullptr;
    }
}

VstIntPtr Effect::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                           float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Effect::open() {
    dispatch(effOpen);
}

void Effect::setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }

void Effect::setBlockSize(int frames) { dispatch(effSetBlockSize, 0, frames); }

void Effect::setProgram(int program) {
    dispatch(effBeginSetProgram);
    dispatch(effSetProgram, 0, program);
    dispatch(effEndSetProgram);
}

void Effect::setProgramName(const std::string& name) {
    // A VST 2 program name is at most 24 characters.
    char buffer[25] = {};
    name.copy(buffer, 24);
    dispatch(effSetProgramName, 0, 0, buffer);
}

int Effect::currentProgram() { return static_cast<int>(dispatch(effGetProgram)); }

void Effect::setParameter(int index, float value) {
    effect_->setParameter(effect_, index, value);
}

float Effect::parameter(int index) const { return effect_->getParameter(effect_, index); }

bool Effect::setParameterText(int index, const std::string& text) {
    // The interface passes the text as non-const: hand the effect a copy.
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back('\0');
    return dispatch(effString2Parameter, index, 0, buf.data()) != 0;
}

std::pair<std::string, std::string> Effect::displayRange(int index) {
    const float value = parameter(index);
    setParameter(index, 0.0f);
    std::string low = parameterDisplay(index);
    setParameter(index, 1.0f);
    std::string high = parameterDisplay(index);
    setParameter(index, value);
    return {std::move(low), std::move(high)};
}

void Effect::switchOn() {
    dispatch(effMainsChanged, 0, 1);
    on_ = true;
}

void Effect::switchOff() {
    dispatch(effMainsChanged, 0, 0);
    on_ = false;
}

void Effect::close() {
    if (effect_ == nullptr) return;
    dispatch(effClose);
    effect_ = nullptr;
}

void Effect::process(float** inputs, float** outputs, int frames) {
    if ((effect_->flags & effFlagsCanReplacing) != 0 && effect_->processReplacing != nullptr) {
        effect_->processReplacing(effect_, inputs, outputs, frames);
        return;
    }
    for (VstInt32 ch = 0; ch < effect_->numOutputs; ++ch) {
        std::memset(outputs[ch], 0, sizeof(float) * static_cast<std::size_t>(frames));
    }
    effect_->process(effect_, inputs, outputs, frames);
}

std::string Effect::text(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    std::array<char, kTextBuffer> buf{};
    dispatch(opcode, index, value, buf.data());
    buf.back() = '\0';
    return buf.data();
}

std::string Effect::parameterName(int index) { return text(effGetParamName, index); }
std::string Effect::parameterLabel(int index) { return text(effGetParamLabel, index); }
std::string Effect::parameterDisplay(int index) { return text(effGetParamDisplay, index); }

std::vector<std::string> Effect::parameterNames() {
    std::vector<std::string> names;
    for (VstInt32 i = 0; i < effect_->numParams; ++i) names.push_back(parameterName(i));
    return names;
}

std::string Effect::programName(int index) {
    std::array<char, kTextBuffer> buf{};
    if (dispatch(effGetProgramNameIndexed, index, -1, buf.data()) == 0) return {};
    buf.back() = '\0';
    return buf.data();
}

std::vector<std::string> Effect::programNames() {
    std::vector<std::string> names;
    for (VstInt32 i = 0; i < effect_->numPrograms; ++i) names.push_back(programName(i));
    return names;
}

std::string Effect::effectName() { return text(effGetEffectName); }
std::string Effect::vendorString() { return text(effGetVendorString); }
std::string Effect::productString() { return text(effGetProductString); }
VstIntPtr Effect::vendorVersion() { return dispatch(effGetVendorVersion); }
VstIntPtr Effect::vstVersion() { return dispatch(effGetVstVersion); }

VstIntPtr Effect::canDo(const char* capability) {
    // The effect may not write through the pointer, but the interface
    // passes it as non-const: hand it a copy.
    std::array<char, kTextBuffer> buf{};
    std::strncpy(buf.data(), capability, buf.size() - 1);
    return dispatch(effCanDo, 0, 0, buf.data());
}

}  // namespace halvorine::host
