// The backend of a build without a window system: the effect announces no
// editor, so no window is ever asked for.
#include "backend.h"

namespace halvorine::editor {

std::unique_ptr<WindowBackend> createWindowBackend() { return nullptr; }
bool windowSystemPresent() { return false; }

}  // namespace halvorine::editor
