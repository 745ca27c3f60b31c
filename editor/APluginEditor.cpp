#include "APluginEditor.h"

#include "uPlugin.h"

using halvorine::editor::TPluginEditorWindow;

namespace {
constexpr std::int16_t kClosedHeight = 518;  // reported before the window exists
constexpr std::int16_t kClosedWidth = 665;
}  // namespace

APluginEditor::APluginEditor(AudioEffect* owner)
    : AEffEditor(owner), plugin_(dynamic_cast<APlugin*>(owner)) {
    for (auto& v : mirror_) v.store(0.0f, std::memory_order_relaxed);
}

APluginEditor::~APluginEditor() {
    if (window_) {
        if (APlugin* p = plugin()) p->editorClosed = true;
        releaseWindow();
    }
}

VstInt32 APluginEditor::getRect(void** rect) {
    rect_.top = 0;
    rect_.left = 0;
    if (window_) {
        rect_.bottom = static_cast<std::int16_t>(window_->clientHeight());
        rect_.right = static_cast<std::int16_t>(window_->clientWidth());
    } else {
        rect_.bottom = kClosedHeight;
        rect_.right = kClosedWidth;
    }
    *rect = &rect_;
    return 1;
}

VstInt32 APluginEditor::open(void* ptr) {
    parentWindow_ = ptr;
    ++openCount_;
    if (openCount_ == 1 || !window_) {
        try {
            window_ = std::make_unique<TPluginEditorWindow>(
                static_cast<EditorOwner*>(this), mirror_, halvorine::editor::createWindowBackend());
        } catch (...) {
            window_.reset();  // out of memory: the host gets an editor with no window
        }
        if (window_) {
            window_->createIn(ptr);
            window_->backend().setBounds(0, 0, window_->clientWidth(), window_->clientHeight());
            windowLive_ = true;  // before the copy, so no update falls between the two
            copyValues();
        }
    }
    if (APlugin* p = plugin()) p->editorClosed = false;
    if (window_) {
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

void APluginEditor::update() {
    APlugin* p = plugin();
    if (!p || p->editorClosed || !windowLive_.load()) return;
    copyValues();
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
    if (const APlugin* p = plugin())
        for (int i = 0; i < APlugin::kNumSlots; ++i)
            mirror_[static_cast<std::size_t>(i)].store(p->slotValue(i), std::memory_order_relaxed);
}

void APluginEditor::releaseWindow() {
    windowLive_ = false;
    window_.reset();
    parentWindow_ = nullptr;
}
