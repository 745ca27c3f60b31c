#include "gui.h"

#include <cstdint>
#include <cstring>

#include "effect_core.h"
#include "parameter_table.h"
#include "scale.h"

namespace halvorine::clap {

namespace {
// The host's timer runs faster than the editor's 25 ms: each call lets the
// window deliver what is due, so its ticks keep their rhythm.
constexpr std::uint32_t kTimerPeriodMs = 10;

template <class T>
const T* extensionOf(const Host* host, const char* id) {
    return host->get_extension ? static_cast<const T*>(host->get_extension(host, id)) : nullptr;
}
}  // namespace

const char* guiApi() {
    if (!editor::windowSystemPresent()) return nullptr;
#if defined(_WIN32)
    return kWindowApiWin32;
#else
    return kWindowApiX11;
#endif
}

Gui::Gui(const Host* host, EffectCore& core, EditorQueue& queue,
         const std::atomic<bool>& processing)
    : host_(host), core_(core), queue_(queue), processing_(processing) {
    hostParams_ = extensionOf<HostParams>(host, kExtParams);
    hostGui_ = extensionOf<HostGui>(host, kExtGui);
    timers_ = extensionOf<HostTimerSupport>(host, kExtTimerSupport);
    fds_ = extensionOf<HostPosixFdSupport>(host, kExtPosixFdSupport);
    if (fds_ && (!fds_->register_fd || !fds_->unregister_fd)) fds_ = nullptr;
}

Gui::~Gui() {
    release();
    // What still waits goes on from the plug-in's main-thread callback.
    if (waiting_ && host_->request_callback) host_->request_callback(host_);
}

bool Gui::supported(const char* api, bool floating) {
    return !floating && api && guiApi() && std::strcmp(api, guiApi()) == 0;
}

bool Gui::hostCanDrive(const Host* host) {
#if defined(_WIN32)
    (void)host;
    return true;
#else
    const auto* timers = extensionOf<HostTimerSupport>(host, kExtTimerSupport);
    return timers && timers->register_timer && timers->unregister_timer;
#endif
}

bool Gui::setParent(const Window* window) {
    if (!window || !window->api || !guiApi() || std::strcmp(window->api, guiApi()) != 0) return false;
    release();
#if defined(_WIN32)
    void* parent = window->win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window->x11));
#endif
    // Every timer tick shows the effect's live values, whoever set them.
    const auto copyValues = [this](editor::ParamMirror& m) {
        for (int slot = 0; slot < static_cast<int>(m.size()); ++slot)
            m[static_cast<std::size_t>(slot)].store(core_.parameter(slot), std::memory_order_relaxed);
    };
    copyValues(mirror_);
    try {
        auto backend = editor::createWindowBackend();
        if (!backend) return false;
        window_ = std::make_unique<editor::TPluginEditorWindow>(
            static_cast<EditorOwner*>(this), mirror_, std::move(backend), copyValues,
            editor::EditorVariant::WithCarrierRow);
        window_->setSizeHandler([this](int width, int height) {
            if (hostGui_ && hostGui_->request_resize)
                hostGui_->request_resize(host_, static_cast<std::uint32_t>(width),
                                         static_cast<std::uint32_t>(height));
        });
        window_->setHostScale(hostScale_);
    } catch (...) {
        window_.reset();
        return false;
    }
    if (!window_->createIn(parent)) {
        window_.reset();
        return false;
    }
    auto& backend = window_->backend();
    backend.setBounds(0, 0, window_->clientWidth(), window_->clientHeight());
    window_->SetAll();
#if !defined(_WIN32)
    // The descriptor wakes the editor at once for input; without it the
    // timer's ticks read the connection, 10 ms apart at most.
    const int fd = backend.eventDescriptor();
    if (fds_ && fd >= 0 && fds_->register_fd(host_, fd, kFdRead | kFdError)) fd_ = fd;
    if (!timers_->register_timer(host_, kTimerPeriodMs, &timer_)) timer_ = kInvalidId;
    if (timer_ == kInvalidId) {
        release();
        return false;
    }
#endif
    return true;
}

bool Gui::setScale(double factor) {
    const int drawn = editor::resolveEditorScale(factor, 1.0);
    if (!(factor > 0.0) || static_cast<double>(drawn) != factor) return false;
    hostScale_ = factor;
    if (window_) window_->setHostScale(factor);
    return true;
}

editor::EditorSize Gui::size() const {
    if (window_) return {window_->clientWidth(), window_->clientHeight()};
    return editor::TPluginEditorWindow::sizeFor(hostScale_, nullptr, editor::EditorVariant::WithCarrierRow);
}

bool Gui::show() {
    if (!window_) return false;
    window_->backend().show();
    window_->SetAll();
    window_->backend().repaintNow();
    return true;
}

bool Gui::hide() {
    if (!window_) return false;
    window_->backend().hide();
    return true;
}

void Gui::onTimer(Id timer) {
    if (timer == timer_) pump();
}

void Gui::onFd(int fd, std::uint32_t) {
    if (fd == fd_) pump();
}

void Gui::pump() {
    if (waiting_) {
        waiting_ = !queue_.retry();
        requestDelivery();
    }
    if (!window_) return;
    window_->backend().idle();
    window_->backend().repaintNow();
}

void Gui::release() {
    if (timer_ != kInvalidId) timers_->unregister_timer(host_, timer_);
    if (fd_ >= 0) fds_->unregister_fd(host_, fd_);
    timer_ = kInvalidId;
    fd_ = -1;
    window_.reset();  // ends a drag in progress with its gesture end
}

void Gui::setParameterAutomated(int index, float value) {
    if (!engine::isNamedSlot(index)) return;
    core_.setParameter(index, value);
    send({EditorEvent::Value, static_cast<std::uint8_t>(index), core_.parameter(index)});
}

void Gui::beginEdit(int index) {
    if (engine::isNamedSlot(index)) send({EditorEvent::Begin, static_cast<std::uint8_t>(index), 0.0f});
}

void Gui::endEdit(int index) {
    if (engine::isNamedSlot(index)) send({EditorEvent::End, static_cast<std::uint8_t>(index), 0.0f});
}

void Gui::send(const EditorEvent& event) {
    waiting_ = !queue_.push(event);
    requestDelivery();
}

void Gui::requestDelivery() {
    if (processing_.load(std::memory_order_acquire)) return;  // the next block takes it
    if (hostParams_ && hostParams_->request_flush) hostParams_->request_flush(host_);
    else if (host_->request_process) host_->request_process(host_);
}

}  // namespace halvorine::clap
