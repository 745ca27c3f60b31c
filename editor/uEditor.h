// The editor window: a 380 x 144 panel with nine horizontal sliders and a
// one-line readout. Platform-neutral: its components come from the layout
// description, every pixel is composed in a software canvas, and a
// WindowBackend puts the result on the screen and delivers mouse and timer.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backend.h"
#include "editor_owner.h"
#include "layout.h"
#include "scale.h"

namespace halvorine::editor {

// The parameter mirror: slots 0..10 as whole 32-bit words. The binding owns
// it and may write it from any thread; the window reads it on its timer.
using ParamMirror = std::array<std::atomic<float>, 11>;

class TPluginEditorWindow final : public WindowEvents {
public:
    static constexpr int kSliders = 9;
    // The window's size at factor 1, as its layout gives it. Bindings report
    // editorSizeFor() (scale.h) to hosts that ask before the window exists.
    static constexpr int kWidth = 380;
    static constexpr int kHeight = 144;

    // One component of the window, made from its description.
    struct Component {
        ComponentDesc desc;
        Rect bounds;       // in window coordinates at factor 1
        bool visible = true;
        Canvas picture;    // pictures and panels: starts without content
        const MaskedImage* images = nullptr;  // image lists: image 0
        std::function<void(Component&, MouseButton, ShiftState, int)> onMouseDown;
        std::function<void(Component&, int)> onMouseMove;
        std::function<void(Component&)> onMouseUp;
    };

    // Builds the window from its layout; `plugin` receives the values the
    // user sets, `mirror` holds the values to show. Runs FormCreate.
    // `refreshMirror`, when given, brings the mirror up to date on the
    // user-interface thread before every timer tick draws it.
    TPluginEditorWindow(EditorOwner* plugin, ParamMirror& mirror,
                        std::unique_ptr<WindowBackend> backend,
                        std::function<void(ParamMirror&)> refreshMirror = {});
    ~TPluginEditorWindow() override;

    TPluginEditorWindow(const TPluginEditorWindow&) = delete;
    TPluginEditorWindow& operator=(const TPluginEditorWindow&) = delete;

    // The size the window will have when it is made in `parent` (null when
    // there is none yet) with the host's factor `hostScale` (0: none), for
    // hosts that ask before the window exists.
    static EditorSize sizeFor(double hostScale = 0.0, void* parent = nullptr) {
        const auto probe = createWindowBackend();
        return editorSizeAt(resolveEditorScale(hostScale, probe ? probe->systemScale(parent) : 1.0));
    }

    // Window-system side, driven by the binding.
    // Makes the child window in the host's window, at scale(). `announced`
    // is the size the host last read (empty when the binding cannot say:
    // then the size at the system's scale, what sizeFor() tells hosts before
    // there is a parent). When the window comes out another size (the
    // parent's screen has another DPI than the system's, or the factor
    // changed after the host read the size), the size handler asks the host
    // to follow, as on a DPI change.
    bool createIn(void* parent, EditorSize announced = {});
    // The window's size in pixels, at scale().
    int clientWidth() const { return form_.bounds.width * scale_; }
    int clientHeight() const { return form_.bounds.height * scale_; }
    WindowBackend& backend() { return *backend_; }

    // Scaling (see scale.h). The host's factor, or 0 for none (the
    // default). Before createIn it is remembered for it; afterwards, when
    // the whole factor the editor draws at changes, the window redraws at
    // the new size, resizes its child window and calls the size handler.
    void setHostScale(double factor);
    // The whole factor the window draws at now (1 before createIn).
    int scale() const { return scale_; }
    // Called with the window's new size in pixels whenever it changes while
    // the window exists (a new host factor, a move to a screen of another
    // DPI); the binding asks its host to resize to it.
    void setSizeHandler(std::function<void(int width, int height)> handler);

    // Published operations.
    void FormCreate();
    void Timer2Timer();
    void SetAll();
    void SetcontrolSelect(Component& sender, MouseButton button, ShiftState shift, int x);
    void SetHSlider(int index, int x, MouseButton button, ShiftState shift);
    // The wheel over a slider: `notches` steps up (negative: down), each 1%
    // of the range, 0.1% when `fine`; a parameter with whole steps (the
    // shift) moves one step a notch either way. Consecutive notches on one
    // slider make one gesture, ended kWheelQuietTicks ticks after the last
    // notch or by the next press.
    void WheelHSlider(int index, int notches, bool fine);
    // Ctrl-click or double-click: the slider to its parameter's default, as
    // one gesture.
    void ResetHSlider(int index);
    static constexpr int kWheelQuietTicks = 10;  // 250 ms at the 25 ms timer
    void MoveControl(Component& sender, int x);
    void MoveHSlider(int index, int x);
    void MouseUp(Component& sender);
    void SetControl(int index);
    void DrawHSlider(Component& picture, int index);
    void Clearscreen(Component& picture, Pixel colour);
    static float limit(float value);
    void SetLabel(int index);
    void PrintLabels(const std::string& label, const std::string& value);
    std::string FilterStr(float value) const;
    std::string FPer(int index) const;
    std::string dBStr(int index, float scale, float offset) const;
    std::string FloatStr(float number, float stepsPerUnit) const;
    std::string WetDryStr(int index) const;

    // State, readable by tests.
    EditorOwner* plugin;
    ParamMirror& paramValues;
    std::array<float, kSliders> drawnValues{};
    bool dragging = false;
    int dragMode = 0;  // 0 absolute, 1 fine
    float dragOrigin = 0.0f;

    Component* component(const std::string& name);
    int sliderDraws() const { return sliderDraws_; }

    // WindowEvents.
    void mouseDown(int x, int y, MouseButton button, ShiftState state) override;
    bool mouseWheel(int x, int y, int notches, bool shift) override;
    void mouseMove(int x, int y) override;
    void mouseUp(int x, int y, MouseButton button) override;
    void timerTick() override;
    void systemScaleChanged() override;
    const Canvas& frame() override;

private:
    void build(const Layout& layout);
    void bindHandlers(Component& c);
    Component* hit(int x, int y);
    Rect placeOf(const Component& c) const;
    float mirrored(int index) const { return paramValues[index].load(std::memory_order_relaxed); }
    void changed();
    // Resolves the factor again; on a change redraws, resizes and tells.
    void rescale();
    // Redraws every picture at factor `s`.
    void applyScale(int s);
    // A window pixel coordinate at the factor to the layout's (factor 1).
    int unscaled(int v) const;
    // The host's gesture requests around a drag: begin on the press, end
    // exactly once, on the release, a lost capture or the window closing.
    void beginGesture(int index);
    void endGesture();
    // Sets a value as the user's: the mirror, the host, the slider, the readout.
    void userValue(int index, float value);

    std::unique_ptr<WindowBackend> backend_;
    std::function<void(ParamMirror&)> refreshMirror_;
    int gesture_ = -1;  // the parameter being dragged, or -1
    bool wheeling_ = false;  // the gesture is a burst of wheel notches
    int wheelQuiet_ = 0;     // timer ticks since its last notch
    float wheelValue_ = 0.0f;  // the value its last notch set
    std::vector<std::unique_ptr<Component>> components_;  // bottom to top
    Component form_;
    Component* pressed_ = nullptr;  // receives moves and the release
    Canvas frame_;
    bool frameDirty_ = true;
    int sliderDraws_ = 0;
    bool doubleBuffered_ = false;
    double hostScale_ = 0.0;
    void* parent_ = nullptr;
    bool created_ = false;  // createIn was called
    int scale_ = 1;
    std::function<void(int, int)> sizeHandler_;
    std::string label_, labelValue_;  // what the readout shows
};

}  // namespace halvorine::editor
