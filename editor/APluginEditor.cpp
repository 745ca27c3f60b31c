#include "APluginEditor.h"

#include <algorithm>
#include <tuple>

#include "uPlugin.h"

using halvorine::editor::TPluginEditorWindow;

APluginEditor::APluginEditor(AudioEffect* owner)
    : AEffEditor(owner), plugin_(dynamic_cast<APlugin*>(owner)) {
    for (auto& v : mirror_) v.store(0.0f, std::memory_order_relaxed);
}

bool APluginEditor::available() { return halvorine::editor::windowSystemPresent(); }

APluginEditor::~APluginEditor() {
    if (window_) {
        if (APlugin* p = plugin()) p->editorClosed = true;
        releaseWindow();
    }
}

VstInt32 APluginEditor::getRect(void** rect) {
    // The window's real size, also before it exists: hosts size their
    // frame from it before they open the editor.
    rect_.top = 0;
    rect_.left = 0;
    // Some hosts ask on every idle call: the closed size is worked out once
    // (and again when the host's factor changes).
    if (!window_ && closedSize_.width == 0) closedSize_ = TPluginEditorWindow::sizeFor(hostScale_);
    rect_.bottom = static_cast<std::int16_t>(window_ ? window_->clientHeight() : closedSize_.height);
    rect_.right = static_cast<std::int16_t>(window_ ? window_->clientWidth() : closedSize_.width);
    told_ = {rect_.right, rect_.bottom};
    *rect = &rect_;
    return 1;
}

VstInt32 APluginEditor::open(void* ptr) {
    parentWindow_ = ptr;
    ++openCount_;
    if (openCount_ == 1 || !window_) {
        try {
            if (auto backend = halvorine::editor::createWindowBackend())
                window_ = std::make_unique<TPluginEditorWindow>(
                    static_cast<EditorOwner*>(this), mirror_, std::move(backend),
                    [this](halvorine::editor::ParamMirror&) { copyValues(); });
        } catch (...) {
            window_.reset();  // out of memory: the host gets an editor with no window
        }
        if (window_) {
            window_->setHostScale(hostScale_);
            window_->setSizeHandler([this](int width, int height) {
                if (APlugin* p = plugin()) p->sizeWindow(width, height);
            });
            window_->createIn(ptr, told_);
            window_->backend().setBounds(0, 0, window_->clientWidth(), window_->clientHeight());
        }
    }
    if (APlugin* p = plugin()) p->editorClosed = false;
    if (window_) {
        copyValues();
        window_->backend().repaintNow();
        window_->backend().show();
        window_->SetAll();
        window_->backend().repaintNow();
    }
    return 1;
}

void APluginEditor::close() {
    if (window_) window_->backend().hide();
    if (--openCount_ < 0) openCount_ = 0;
    if (openCount_ == 0) {
        if (APlugin* p = plugin()) p->editorClosed = true;
        releaseWindow();
    }
}

void APluginEditor::idle() {
    if (window_) {
        window_->backend().idle();
        window_->backend().repaintNow();
    }
}

// Any thread. Nothing to copy here: every timer tick reads the effect's
// live values on the user-interface thread, so copies from several threads
// can never overtake one another and leave an older value showing.
void APluginEditor::update() {}

void APluginEditor::setHostScale(float factor) {
    hostScale_ = factor;
    closedSize_ = {};
    if (window_) window_->setHostScale(factor);
}

void APluginEditor::setParameterAutomated(int index, float value) {
    if (effect) effect->setParameterAutomated(index, value);
}

void APluginEditor::beginEdit(int index) {
    if (APlugin* p = plugin()) p->beginEdit(index);
}

void APluginEditor::endEdit(int index) {
    if (APlugin* p = plugin()) p->endEdit(index);
}

void APluginEditor::copyValues() {
    // The editor shows the effect's own slots; the core may hold more.
    constexpr int kShown = std::min<int>(
        APlugin::kNumSlots, static_cast<int>(std::tuple_size_v<halvorine::editor::ParamMirror>));
    if (const APlugin* p = plugin())
        for (int i = 0; i < kShown; ++i)
            mirror_[static_cast<std::size_t>(i)].store(p->slotValue(i), std::memory_order_relaxed);
}

void APluginEditor::releaseWindow() {
    window_.reset();
    closedSize_ = {};
    parentWindow_ = nullptr;
}
