// The editor binding: what the host's editor requests reach. It reports the
// editor's size, makes the window inside the host's window, shows, hides
// and releases it, and keeps the window's copy of the parameter values
// current.
#pragma once

#include <atomic>
#include <memory>

#include "DAudioEffect.h"
#include "uEditor.h"

class APlugin;

// The editor rectangle handed to the host: top, left, bottom, right.
struct ERect {
    std::int16_t top, left, bottom, right;
};

class APluginEditor : public AEffEditor, private halvorine::editor::EditorOwner {
public:
    explicit APluginEditor(AudioEffect* effect);
    ~APluginEditor() override;

    // Whether this build can show the editor at all (it has a window system).
    static bool available();

    VstInt32 getRect(void** rect) override;
    VstInt32 open(void* ptr) override;
    void close() override;
    void idle() override;
    // The effect's values changed; the window shows them on its next tick.
    void update() override;
    // The host's scale factor, from its vendor-specific call (0: none). An
    // open window redraws at it and asks the host for its new size.
    void setHostScale(float factor);

    // effVendorSpecific's index and value of the hosts' scale call; the
    // factor comes in opt.
    static constexpr VstInt32 kScaleCallIndex = 0x50726553;  // 'PreS'
    static constexpr VstIntPtr kScaleCallValue = 0x41654373;  // 'AeCs'

    int openCount() const { return openCount_; }
    halvorine::editor::TPluginEditorWindow* window() const { return window_.get(); }

private:
    // EditorOwner: the window's values go to the effect and on to the host.
    void setParameterAutomated(int index, float value) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;

    APlugin* plugin() { return plugin_; }
    void copyValues();
    void releaseWindow();

    APlugin* plugin_;  // the effect, checked to be one when the binding is made
    ERect rect_{0, 0, 0, 0};
    int openCount_ = 0;
    std::unique_ptr<halvorine::editor::TPluginEditorWindow> window_;
    void* parentWindow_ = nullptr;
    double hostScale_ = 0.0;
    halvorine::editor::EditorSize closedSize_{};  // the size before opening, once asked
    halvorine::editor::EditorSize told_{};        // the size the host last read, open or not
    halvorine::editor::ParamMirror mirror_{};
};
