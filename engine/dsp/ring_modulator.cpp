#include "ring_modulator.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__aarch64__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#else
#include <cpuid.h>
#include <xmmintrin.h>
#endif

#include "numeric.h"

namespace halvorine::dsp {
namespace {

// What frame `step` of a fade from `from` to `to` over `frames` frames
// plays (see kernel::Glide).
float fadedValue(float from, float to, int step, int frames) {
    if (step >= frames) return to;
    return F(from + (static_cast<double>(to) - from) * step / frames);
}

struct InstructionSet {
    const char* name;
    kernel::BlockFunction process;
    kernel::DesignFunction design;
    voice::Function oscillate;  // the carrier synth's oscillators
};

#if HALVORINE_NEON
const InstructionSet kNeon{"neon", &kernel::processBlockNeon, &kernel::designBankNeon,
                           &voice::oscillatePlain};
const InstructionSet kPlain{"plain", &kernel::processBlockPlain, &kernel::designBankPlain,
                            &voice::oscillatePlain};
#else
const InstructionSet kSse2{"sse2", &kernel::processBlockSse2, &kernel::designBankSse2,
                           &voice::oscillatePlain};
#endif
#if HALVORINE_WIDE_SIMD
const InstructionSet kAvx2{"avx2", &kernel::processBlockAvx2, &kernel::designBankAvx2,
                           &voice::oscillateAvx2};
const InstructionSet kAvx512{"avx512", &kernel::processBlockAvx512, &kernel::designBankAvx512,
                             &voice::oscillateAvx2};
#endif

// Which sample loop runs fastest on this processor, by a fixed rule (the
// same every time): the widest the processor and its operating system
// support, except that Intel's processors lower their clock for 512-bit
// arithmetic, which makes the AVX-512 loop slower there than the AVX2 one
// (on an Ice Lake Xeon 51.5 against 61-68 ns a frame), while AMD's (Zen 4
// on) run it at full speed.
struct Choice {
    const InstructionSet* set;
    ProcessorInfo info;
};

#if HALVORINE_NEON
// Every 64-bit ARM processor has NEON. The processor is named by its main
// identification register (implementer and part number), where the kernel
// lets a program read it.
Choice choose() {
    Choice c{&kNeon, {}};
    ProcessorInfo& p = c.info;
    std::memcpy(p.vendor, "arm64", 6);
    if (getauxval(AT_HWCAP) & HWCAP_CPUID) {
        unsigned long midr = 0;
        asm("mrs %0, midr_el1" : "=r"(midr));
        const int implementer = static_cast<int>((midr >> 24) & 0xFF);
        const char* name = implementer == 0x41   ? "ARM"
                           : implementer == 0x61 ? "Apple"
                           : implementer == 0x51 ? "Qualcomm"
                           : implementer == 0xC0 ? "Ampere"
                           : implementer == 0x48 ? "HiSilicon"
                                                 : nullptr;
        if (name) std::memcpy(p.vendor, name, std::strlen(name) + 1);
        p.family = implementer;
        p.model = static_cast<int>((midr >> 4) & 0xFFF);  // the part number
    }
    p.best = "neon";
    p.why = "every 64-bit ARM processor has NEON";
    return c;
}
#else
Choice choose() {
    Choice c{&kSse2, {}};
    ProcessorInfo& p = c.info;
    unsigned a = 0, b = 0, cx = 0, d = 0;
    if (__get_cpuid(0, &a, &b, &cx, &d)) {
        std::memcpy(p.vendor, &b, 4);
        std::memcpy(p.vendor + 4, &d, 4);
        std::memcpy(p.vendor + 8, &cx, 4);
    }
    if (__get_cpuid(1, &a, &b, &cx, &d)) {
        p.family = static_cast<int>((a >> 8) & 0xF);
        p.model = static_cast<int>((a >> 4) & 0xF);
        if (p.family == 0xF) p.family += static_cast<int>((a >> 20) & 0xFF);
        if (p.family == 6 || p.family >= 0xF) p.model += static_cast<int>((a >> 16) & 0xF) << 4;
    }
    p.best = "sse2";
    p.why = "the only instruction set this build or processor has";
#if HALVORINE_WIDE_SIMD
    __builtin_cpu_init();
    p.hasAvx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    p.hasAvx512 = p.hasAvx2 && __builtin_cpu_supports("avx512f");
    const bool amd = std::strcmp(p.vendor, "AuthenticAMD") == 0;
    const bool intel = std::strcmp(p.vendor, "GenuineIntel") == 0;
    if (p.hasAvx512 && amd && p.family >= 0x19) {
        c.set = &kAvx512;
        p.why = "AMD (Zen 4 on) runs 512-bit arithmetic at full clock: AVX-512 is fastest";
    } else if (p.hasAvx2) {
        c.set = &kAvx2;
        p.why = !p.hasAvx512 ? "the widest instruction set the processor has"
                : intel      ? "Intel lowers the clock for 512-bit arithmetic: AVX2 is faster"
                             : "AVX-512 is not known to pay on this processor";
    }
    p.best = c.set->name;
#endif
    return c;
}
#endif

// The choice, made once per process (the processor does not change).
const Choice& choice() {
    static const Choice c = choose();
    return c;
}

// The chosen sample loop, or the one HALVORINE_SIMD names ("sse2", "avx2",
// "avx512"; "neon", "plain" on ARM) if the processor runs it.
const InstructionSet& chooseInstructionSet() {
    const Choice& c = choice();
#if HALVORINE_NEON
    if (const char* forced = std::getenv("HALVORINE_SIMD"))
        if (std::strcmp(forced, "plain") == 0) return kPlain;
#endif
#if HALVORINE_WIDE_SIMD
    if (const char* forced = std::getenv("HALVORINE_SIMD")) {
        if (std::strcmp(forced, "sse2") == 0) return kSse2;
        if (std::strcmp(forced, "avx2") == 0 && c.info.hasAvx2) return kAvx2;
        if (std::strcmp(forced, "avx512") == 0 && c.info.hasAvx512) return kAvx512;
    }
#endif
    return *c.set;
}

// The sample loop's floating-point mode: round to nearest, subnormal
// numbers kept (neither flushed nor read as zero), every exception masked.
// A host may run its audio thread in another mode; the block runs in this
// one and hands the host's back exactly as it was, its sticky exception
// flags included: those the block raises never reach the host, and those
// the host had are kept.
#if defined(__aarch64__)
class FloatingPointMode {
public:
    // A register is written only when its value must change: a write of
    // the control register may wait for every floating-point operation in
    // flight, and hosts mostly run in our mode already.
    FloatingPointMode() : control_(readControl()), status_(readStatus()) {
        if (control_ & kControlled) writeControl(control_ & ~kControlled);
    }
    ~FloatingPointMode() {
        if (control_ & kControlled) writeControl(control_);
        if (readStatus() != status_) writeStatus(status_);
    }
    FloatingPointMode(const FloatingPointMode&) = delete;
    FloatingPointMode& operator=(const FloatingPointMode&) = delete;

private:
    // The control register's fields that change results, all zero in our
    // mode: the alternate half-precision (AHP, bit 26), default NaN (DN,
    // 25), flush-to-zero (FZ, 24; and FZ16, 19), the rounding mode (RMode,
    // 23:22: zero is to nearest), the exception traps (8-12, 15), and the
    // alternate handling of FEAT_AFP (0-2). The other bits stay the host's.
    static constexpr std::uint64_t kControlled = 0x7C89F07;
    static std::uint64_t readControl() {
        std::uint64_t v;
        asm volatile("mrs %0, fpcr" : "=r"(v)::"memory");
        return v;
    }
    static void writeControl(std::uint64_t v) { asm volatile("msr fpcr, %0" ::"r"(v) : "memory"); }
    static std::uint64_t readStatus() {
        std::uint64_t v;
        asm volatile("mrs %0, fpsr" : "=r"(v)::"memory");
        return v;
    }
    static void writeStatus(std::uint64_t v) { asm volatile("msr fpsr, %0" ::"r"(v) : "memory"); }
    std::uint64_t control_, status_;
};
#else
class FloatingPointMode {
public:
    FloatingPointMode() : host_(_mm_getcsr()) { _mm_setcsr(kOurs); }
    ~FloatingPointMode() { _mm_setcsr(host_); }
    FloatingPointMode(const FloatingPointMode&) = delete;
    FloatingPointMode& operator=(const FloatingPointMode&) = delete;

private:
    static constexpr unsigned kOurs = 0x1F80;  // all exceptions masked, nearest, no FTZ/DAZ
    unsigned host_;
};
#endif

}  // namespace

const ProcessorInfo& SpectralRingModulator::processor() { return choice().info; }

namespace {
// The synth's values start at their defaults, as the parameter table has them.
Settings initialSettings() {
    Settings s;
    const SynthSettings d;
    s.values[SpectralRingModulator::kSynthWave] = d.wave;
    s.values[SpectralRingModulator::kSynthNoise] = d.noise;
    s.values[SpectralRingModulator::kSynthDetune] = d.detune;
    s.values[SpectralRingModulator::kSynthOctave] = d.octave;
    s.values[SpectralRingModulator::kSynthAttack] = d.attack;
    s.values[SpectralRingModulator::kSynthRelease] = d.release;
    return s;
}
}  // namespace

SpectralRingModulator::SpectralRingModulator() : settings_(initialSettings()) {
    std::memset(&state_, 0, sizeof state_);
    designed_[0] = designed_[1] = BankInputs{};
    const InstructionSet& set = chooseInstructionSet();
    processBlock_ = set.process;
    synth_.setOscillatorLoop(set.oscillate);
    designBank_ = set.design;
    instructionSet_ = set.name;
}

void SpectralRingModulator::reset() {
    std::memset(&state_, 0, sizeof state_);
    designed_[0] = designed_[1] = BankInputs{};
    designedValid_[0] = designedValid_[1] = false;
    historyRate_ = 0.0f;
    boostDesigned_ = -1.0f;
    appliedVersion_ = ~std::uint64_t{0};
    playing_ = false;
    synth_.reset();
    carrierTo_ = carrierFrom_ = 0.0f;
    carrierStep_ = 0;
}

float SpectralRingModulator::clampValue(float value) {
    if (value > 1.0f) return 1.0f;
    if (!(value >= 0.0f)) return 0.0f;  // below 0, or not a number
    return value;
}

void SpectralRingModulator::setParameter(int slot, float value) {
    settings_.update([slot, value](Settings& s) { s.values[static_cast<std::size_t>(slot)] = value; });
}

void SpectralRingModulator::setParameters(const std::array<float, kSlots>& values) {
    settings_.update([&values](Settings& s) {
        for (std::size_t i = 0; i < values.size(); ++i) s.values[i] = values[i];
    });
}

void SpectralRingModulator::setAllParameters(const std::array<float, kAllSlots>& values) {
    settings_.update([&values](Settings& s) { s.values = values; });
}

void SpectralRingModulator::setDesignRate(float rate) {
    if (!std::isfinite(rate) || rate <= 0.0f) return;
    settings_.update([rate](Settings& s) { s.rate = rate; });
}

void SpectralRingModulator::applyPendingChange() {
    Settings settings;
    if (!settings_.readIfChanged(settings, appliedVersion_)) return;
    const auto& p = settings.values;
    const float rate = settings.rate;

    designBank(0, {p[kModStart], p[kModFinish], p[kModWidth], rate});
    designBank(1, {p[kCarrStart], p[kCarrFinish], p[kCarrWidth], rate});
    // The filters run on through every change of the parameters; a new
    // rate starts them again from silence. The ring runs on regardless.
    const bool newRate = rate != historyRate_;
    if (newRate) {
        clearHistories(0);
        clearHistories(1);
        historyRate_ = rate;
    }

    // Changes of the mix, the gain and the shift fade in over 10 ms from
    // what the latest frame played; the first settings after construction,
    // a reset or a new rate take effect at once.
    kernel::Glide& g = state_.glide;
    const bool fade = playing_ && !newRate;
    g.frames = glideFrames(rate);
    // A new shift while the shift fades waits for that fade to end (see
    // kernel::Glide); otherwise it starts fading now.
    const int shift = roundDown(F(63.0 * p[kShift]));
    if (!fade) {
        state_.shift = g.shiftNext = shift;
    } else if (shift != g.shiftNext) {
        g.shiftNext = shift;
        if (g.shiftStep >= g.frames) {
            g.shiftFrom = state_.shift;
            state_.shift = shift;
            g.shiftStep = 0;
        }
    }
    const float mix = p[kMix];
    if (fade && mix != g.mixTo) {
        g.mixFrom = fadedValue(g.mixFrom, g.mixTo, g.mixStep, g.frames);
        g.mixStep = 0;
    }
    float gain = state_.boost;
    if (p[kBoost] != boostDesigned_) {  // the gain's exp only when the boost changed
        gain = dbToGain(p[kBoost], 40.0f, 20.0f);
        boostDesigned_ = p[kBoost];
    }
    if (fade && gain != g.gainTo) {
        g.gainFrom = fadedValue(g.gainFrom, g.gainTo, g.gainStep, g.frames);
        g.gainStep = 0;
    }
    if (!fade) g.mixStep = g.gainStep = g.shiftStep = g.frames;

    // The carrier synth.
    const float carrier = stepOf(p[kCarrier], 1) == 1 ? 1.0f : 0.0f;
    if (newRate) synth_.setRate(rate);
    if (fade && carrier != carrierTo_) {
        carrierFrom_ = fadedValue(carrierFrom_, carrierTo_, carrierStep_, g.frames);
        carrierStep_ = 0;
    }
    if (!fade) carrierStep_ = g.frames;
    carrierTo_ = carrier;
    const int drone = stepOf(p[kDrone], 97);
    synth_.apply({p[kSynthWave], p[kSynthNoise], p[kSynthDetune], p[kSynthOctave], p[kSynthAttack],
                  p[kSynthRelease], drone == 0 ? -1 : 11 + drone},
                 carrier == 1.0f);
    state_.dryIsModulator = mix < 0.5f;
    state_.wet = mix < 0.5f ? F(2.0 * mix) : F(2.0 - 2.0 * mix);
    state_.boost = gain;
    g.mixTo = mix;
    g.gainTo = gain;
}

void SpectralRingModulator::designBank(int bank, const BankInputs& in) {
    // The coefficients depend only on these four values; a change of any
    // other slot keeps them, and a change of the width alone keeps the
    // centre frequencies.
    if (designedValid_[bank] && designed_[bank] == in) return;
    const BankInputs& was = designed_[bank];
    const bool keepCentres = designedValid_[bank] && was.start == in.start &&
                             was.finish == in.finish && was.rate == in.rate;
    kernel::Bank& b = bank == 0 ? state_.mod : state_.car;
    std::uint64_t nearCircle = designBank_(b, in.start, in.finish, in.width, in.rate, keepCentres);
    while (nearCircle) {
        const int band = __builtin_ctzll(nearCircle);
        nearCircle &= nearCircle - 1;
        BandCoefficients c;
        c.b0 = static_cast<float>(b.b0[band]);
        c.b2 = static_cast<float>(b.b2[band]);
        c.a1 = static_cast<float>(b.a1[band]);
        c.a2 = static_cast<float>(b.a2[band]);
        keepStable(c);
        b.a1[band] = c.a1;
        b.a2[band] = c.a2;
    }
    designed_[bank] = in;
    designedValid_[bank] = true;
}

void SpectralRingModulator::clearHistories(int bank) {
    kernel::Bank& b = bank == 0 ? state_.mod : state_.car;
    std::memset(b.y, 0, sizeof b.y);
    b.x1 = b.x2 = 0.0f;
    if (bank == 1)  // the carrier's last three outputs
        for (int r = 0; r < 3; ++r) std::memset(state_.carOut[r], 0, sizeof state_.carOut[r]);
}

void SpectralRingModulator::process(const float* const* inputs, float* const* outputs,
                                    int frames, bool accumulate, const NoteEvent* events,
                                    int eventCount) {
    if (frames <= 0) return;
    FloatingPointMode mode;
    applyPendingChange();
    const bool inputOnly = carrierTo_ == 0.0f && carrierStep_ >= state_.glide.frames;
    if (inputOnly && eventCount <= 0 && !synth_.sounding()) {
        processBlock_(state_, inputs[0], inputs[1], outputs[0], outputs[1], frames, accumulate);
        playing_ = true;
        return;
    }
    // In chunks: the synth's output, then the carrier it makes.
    int next = 0;
    for (int done = 0; done < frames;) {
        const int n = frames - done < kChunk ? frames - done : kChunk;
        int last = next;
        while (last < eventCount && events[last].frame < done + n) ++last;
        synth_.render(synthOut_, n, events + next, last - next, done);
        next = last;
        const float* in1 = inputs[1] ? inputs[1] + done : nullptr;
        const float* carrier = in1;
        const int fadeFrames = state_.glide.frames;
        if (carrierTo_ == 1.0f && carrierStep_ >= fadeFrames) {
            carrier = synthOut_;
        } else if (carrierStep_ < fadeFrames) {
            for (int i = 0; i < n; ++i) {
                const float a = fadedValue(carrierFrom_, carrierTo_, carrierStep_, fadeFrames);
                if (carrierStep_ < fadeFrames) ++carrierStep_;
                const float x = in1 && std::isfinite(in1[i]) ? in1[i] : 0.0f;
                carrierIn_[i] = F(static_cast<double>(x) * (1.0 - a) + static_cast<double>(synthOut_[i]) * a);
            }
            carrier = carrierIn_;
        }
        float* out[2] = {outputs[0] + done, outputs[1] + done};
        processBlock_(state_, inputs[0] + done, carrier, out[0], out[1], n, accumulate);
        playing_ = true;
        done += n;
    }
    // Events stamped past the block play at its end.
    if (next < eventCount) synth_.render(synthOut_, 0, events + next, eventCount - next, frames);
}

}  // namespace halvorine::dsp
