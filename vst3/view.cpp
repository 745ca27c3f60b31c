// The view owns the editor window while the host has it attached. On Linux
// the host's run loop drives it: a 25 ms timer for the window's own timer,
// and the X connection's descriptor for its events; nothing here runs a
// thread. On Windows the window system delivers both by itself.
#include "view.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "effect.h"
#include "uEditor.h"

namespace halvorine::vst3 {
namespace {

using editor::TPluginEditorWindow;

#ifdef _WIN32
constexpr const char* kPlatformType = kPlatformTypeHWND;
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif
constexpr uint64 kTimerMilliseconds = 25;
// The editor with the carrier synth's row.
constexpr editor::EditorVariant kVariant = editor::EditorVariant::WithCarrierRow;

class View final : public IPlugView,
                   public IPlugViewContentScaleSupport,
                   public linux_ui::IEventHandler,
                   public linux_ui::ITimerHandler,
                   private editor::EditorOwner {
public:
    explicit View(Effect& effect) : effect_(effect) {
        static_cast<IEditController&>(effect_).addRef();
    }

    tresult HALVORINE_VST3_CALL queryInterface(const TUID interfaceId, void** obj) override {
        if (!obj) return kInvalidArgument;
        void* found = nullptr;
        if (FUnknown::iid.matches(interfaceId) || IPlugView::iid.matches(interfaceId))
            found = static_cast<IPlugView*>(this);
        else if (IPlugViewContentScaleSupport::iid.matches(interfaceId))
            found = static_cast<IPlugViewContentScaleSupport*>(this);
        else if (linux_ui::IEventHandler::iid.matches(interfaceId))
            found = static_cast<linux_ui::IEventHandler*>(this);
        else if (linux_ui::ITimerHandler::iid.matches(interfaceId))
            found = static_cast<linux_ui::ITimerHandler*>(this);
        *obj = found;
        if (!found) return kNoInterface;
        addRef();
        return kResultOk;
    }
    uint32 HALVORINE_VST3_CALL addRef() override { return ++references_; }
    uint32 HALVORINE_VST3_CALL release() override {
        const uint32 left = --references_;
        if (left == 0) delete this;
        return left;
    }

    tresult HALVORINE_VST3_CALL isPlatformTypeSupported(FIDString type) override {
        return type && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
    }

    tresult HALVORINE_VST3_CALL attached(void* parent, FIDString type) override {
        if (window_ || !parent || isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
#ifndef _WIN32
        // The host's run loop drives the editor; without one it would show
        // and never update.
        void* loop = nullptr;
        if (!frame_ || frame_->queryInterface(linux_ui::IRunLoop::iid.bytes, &loop) != kResultOk || !loop)
            return kResultFalse;
        runLoop_ = static_cast<linux_ui::IRunLoop*>(loop);
#endif
        refresh(mirror_);
        try {
            window_ = std::make_unique<TPluginEditorWindow>(
                static_cast<EditorOwner*>(this), mirror_, editor::createWindowBackend(),
                [this](editor::ParamMirror& mirror) { refresh(mirror); }, kVariant);
        } catch (...) {
            leaveRunLoop();
            return kResultFalse;
        }
        // A new scale while attached, or a window that opens at another size
        // than the host read: the host is asked to follow.
        window_->setSizeHandler([this](int width, int height) {
            ViewRect rect{0, 0, width, height};
            if (frame_) frame_->resizeView(this, &rect);
        });
        window_->setHostScale(hostScale_);
        // The frame is ours to call while the window exists.
        if (frame_) frame_->addRef();
        if (!window_->createIn(parent, told_)) {
            detach();
            return kResultFalse;
        }
        auto& backend = window_->backend();
        backend.setBounds(0, 0, window_->clientWidth(), window_->clientHeight());
        backend.show();
        window_->SetAll();
        backend.repaintNow();
        joinRunLoop();
        return kResultOk;
    }

    tresult HALVORINE_VST3_CALL removed() override {
        detach();
        return kResultOk;
    }

    tresult HALVORINE_VST3_CALL onWheel(float) override { return kResultFalse; }
    tresult HALVORINE_VST3_CALL onKeyDown(char16, int16, int16) override { return kResultFalse; }
    tresult HALVORINE_VST3_CALL onKeyUp(char16, int16, int16) override { return kResultFalse; }

    tresult HALVORINE_VST3_CALL getSize(ViewRect* size) override {
        if (!size) return kInvalidArgument;
        *size = currentSize();
        told_ = {size->right - size->left, size->bottom - size->top};
        return kResultOk;
    }
    tresult HALVORINE_VST3_CALL onSize(ViewRect*) override { return kResultOk; }
    tresult HALVORINE_VST3_CALL onFocus(TBool) override { return kResultOk; }
    tresult HALVORINE_VST3_CALL setFrame(IPlugFrame* frame) override {
        if (window_ && frame != frame_) {  // held while attached
            if (frame) frame->addRef();
            if (frame_) frame_->release();
        }
        frame_ = frame;
        return kResultOk;
    }
    tresult HALVORINE_VST3_CALL canResize() override { return kResultFalse; }
    tresult HALVORINE_VST3_CALL checkSizeConstraint(ViewRect* rect) override {
        if (!rect) return kInvalidArgument;
        *rect = currentSize();
        return kResultTrue;
    }

    tresult HALVORINE_VST3_CALL setContentScaleFactor(ScaleFactor factor) override {
        // The editor draws whole factors only; another would be drawn at the
        // whole one below, not at what the host asked for.
        const int whole = editor::wholeScale(factor);
        if (whole < editor::kMinScale || whole != factor) return kResultFalse;
        hostScale_ = factor;
        if (window_) window_->setHostScale(factor);
        return kResultTrue;
    }

    // The host's run loop.
    void HALVORINE_VST3_CALL onFDIsSet(linux_ui::FileDescriptor) override {
        if (window_) window_->backend().idle();
    }
    void HALVORINE_VST3_CALL onTimer() override {
        if (!window_) return;
        window_->timerTick();
        window_->backend().idle();  // events the connection already read, and the repaint
    }

private:
    ~View() {
        detach();
        static_cast<IEditController&>(effect_).release();
    }

    // Off the host's run loop, the window gone, and the frame let go.
    void detach() {
        leaveRunLoop();
        const bool holdingFrame = window_ && frame_;
        window_.reset();
        if (holdingFrame) frame_->release();
    }

    // The editor's size at the screen's scale: the window's own while it
    // exists, else what it will be.
    ViewRect currentSize() const {
        if (window_) return ViewRect{0, 0, window_->clientWidth(), window_->clientHeight()};
        const editor::EditorSize size = TPluginEditorWindow::sizeFor(hostScale_, nullptr, kVariant);
        return ViewRect{0, 0, size.width, size.height};
    }

    void refresh(editor::ParamMirror& mirror) const {
        for (int slot = 0; slot < static_cast<int>(mirror.size()); ++slot)
            if (engine::isNamedSlot(slot))
                mirror[static_cast<std::size_t>(slot)].store(effect_.controllerValue(slot),
                                                             std::memory_order_relaxed);
    }

    // Onto the run loop attached() found.
    void joinRunLoop() {
#ifndef _WIN32
        if (!runLoop_) return;
        timing_ = runLoop_->registerTimer(this, kTimerMilliseconds) == kResultOk;
        const int fd = window_->backend().eventDescriptor();
        if (fd >= 0) {
            runLoop_->registerEventHandler(this, fd);
            watching_ = true;
        }
#endif
    }

    void leaveRunLoop() {
        if (!runLoop_) return;
        if (timing_) runLoop_->unregisterTimer(this);
        timing_ = false;
        if (watching_) runLoop_->unregisterEventHandler(this);
        watching_ = false;
        runLoop_->release();
        runLoop_ = nullptr;
    }

    // EditorOwner: the user's values go to the controller and the host.
    void setParameterAutomated(int index, float value) override {
        effect_.userPerformEdit(index, value);
    }
    void beginEdit(int index) override { effect_.userBeginEdit(index); }
    void endEdit(int index) override { effect_.userEndEdit(index); }

    std::atomic<uint32> references_{1};
    Effect& effect_;
    IPlugFrame* frame_ = nullptr;
    double hostScale_ = 0.0;  // none given
    linux_ui::IRunLoop* runLoop_ = nullptr;
    bool timing_ = false;
    bool watching_ = false;
    editor::EditorSize told_{};  // the size the host last read
    editor::ParamMirror mirror_{};
    std::unique_ptr<TPluginEditorWindow> window_;
};

}  // namespace

IPlugView* makeView(Effect& effect) {
    if (!editor::windowSystemPresent()) return nullptr;
    return new (std::nothrow) View(effect);
}

}  // namespace halvorine::vst3
