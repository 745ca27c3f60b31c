// How large the editor is drawn. The whole window (pictures, sliders, hit
// areas, text) is drawn at a whole factor from 1 to 3: a bitmap pixel
// becomes a square of factor x factor pixels, text is rendered at factor
// times its size. A fractional factor is drawn at the whole factor below it.
//
// Where the factor comes from, first match wins:
//   1. HALVORINE_SCALE in the environment (for hosts that get it wrong);
//   2. the host's factor, as the binding passes it on;
//   3. the window system: on X11 the Xft.dpi resource / 96, then GDK_SCALE;
//      on Windows the DPI of the parent window (the system's before there
//      is one) / 96;
//   4. 1.
//
// Bindings ask TPluginEditorWindow::sizeFor (uEditor.h) for the size before
// the window exists, and give the host's factor to the window with
// setHostScale. Everything runs on the user-interface thread.
#pragma once

namespace halvorine::editor {

constexpr int kMinScale = 1;
constexpr int kMaxScale = 3;

// Which window the editor is: the effect's panel alone (VST 2), or with the
// carrier row below it (the formats that have the carrier synth). The
// binding chooses; the window knows no format.
enum class EditorVariant { Effect, WithCarrierRow };

struct EditorSize {
    int width = 0;
    int height = 0;
};

// The factor the editor will be drawn at, from HALVORINE_SCALE, then
// `hostScale` (what the host said; 0, or anything not above 0, when it said
// nothing), then `systemScale` (the window system's, see
// WindowBackend::systemScale), then 1.
int resolveEditorScale(double hostScale, double systemScale);

// The editor's size in pixels at a factor: 380 x 144 times the factor
// (clamped to 1..3), 380 x 220 with the carrier row.
EditorSize editorSizeAt(int scale, EditorVariant variant = EditorVariant::Effect);

// A factor to the whole factor it is drawn at: not a number, or not above
// 0, gives 0 ("none"); otherwise clamped to 1..3 and rounded down.
int wholeScale(double factor);

}  // namespace halvorine::editor
