// What one step of a slider drag costs the user-interface thread at each
// scale factor: the move (value, slider and readout drawn anew) and the
// whole window composed for the screen, as every mouse move while dragging
// asks. Text through the platform's renderer (FreeType on Linux).
#include <benchmark/benchmark.h>

#include "uEditor.h"

namespace {

using namespace halvorine::editor;

class NoHost final : public EditorOwner {
public:
    void setParameterAutomated(int, float) override {}
    void beginEdit(int) override {}
    void endEdit(int) override {}
};

// A screen that shows nothing: the window's own work alone is measured.
class NoScreen final : public WindowBackend {
public:
    bool create(void*, int, int, WindowEvents* events) override {
        events_ = events;
        return true;
    }
    void setBounds(int, int, int, int) override {}
    void show() override {}
    void hide() override {}
    void invalidate() override {}
    void repaintNow() override {}
    void startTimer(int) override {}
    void idle() override {}
    TextRenderer& text() override { return platformTextRenderer(); }
    WindowEvents* events_ = nullptr;
};

void BM_DragStep(benchmark::State& state) {
    const int s = static_cast<int>(state.range(0));
    NoHost host;
    ParamMirror mirror{};
    TPluginEditorWindow window(&host, mirror, std::make_unique<NoScreen>());
    window.setHostScale(s);
    int parent = 0;
    window.createIn(&parent);
    window.SetAll();
    const int y = 26 * s;  // the first slider's row
    window.mouseDown(60 * s, y, MouseButton::Left, {});
    int x = 0;
    for (auto _ : state) {
        window.mouseMove((35 + x) * s, y);  // across the slider and back
        x = (x + 7) % 80;
        benchmark::DoNotOptimize(window.frame().row(0));
    }
    window.mouseUp(60 * s, y, MouseButton::Left);
    state.counters["pixels"] = window.clientWidth() * window.clientHeight();
}
BENCHMARK(BM_DragStep)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
