// The editor as a VST 3 view: the plug-in's own window, embedded in the
// host's (an X11 window on Linux, an HWND on Windows).
#pragma once

#include "interfaces.h"

namespace halvorine::vst3 {

class Effect;

// A new view of `effect`'s editor with one reference for the caller; null
// when this build has no window system.
IPlugView* makeView(Effect& effect);

}  // namespace halvorine::vst3
