// The editor embedded in the host's window, with the carrier row, 380 x 220
// at the screen's (or the host's) whole scale factor; it asks the host to resize it when the
// factor changes. On
// Linux the window is an X11 child window, driven by the host's timer
// (timer-support) and by the X connection's file descriptor (posix-fd-
// support) where the host watches one; without it the connection is read
// on every tick of the timer. On Windows a Win32 child window that the host's message loop
// drives. Values set in the editor go to the effect at once and to the host
// as output events, each drag framed by a gesture begin and end.
#pragma once

#include <atomic>
#include <memory>

#include "clap_abi.h"
#include "editor_queue.h"
#include "uEditor.h"

namespace halvorine {
class EffectCore;
}

namespace halvorine::clap {

// The window system API of this build ("x11", "win32"), or null when it has none.
const char* guiApi();

class Gui final : private editor::EditorOwner {
public:
    // `processing` tells whether the host is in its processing state: the
    // queue is then drained by process(), otherwise the host is asked to flush.
    Gui(const Host* host, EffectCore& core, EditorQueue& queue, const std::atomic<bool>& processing);
    ~Gui();
    Gui(const Gui&) = delete;
    Gui& operator=(const Gui&) = delete;

    // Whether the plug-in draws an editor of `api`: the build's window
    // system, embedded. Hosts ask before they offer anything (some from a
    // throwaway instance whose host has no extensions at all).
    static bool supported(const char* api, bool floating);
    // Whether this host can drive the editor: on Linux it needs the host's
    // timer (its fd support is optional); Windows' message loop needs nothing.
    static bool hostCanDrive(const Host* host);

    bool setParent(const Window* window);
    // The host's scale factor, taken only when the editor draws at exactly
    // that factor (whole factors 1 to 3, and no HALVORINE_SCALE forcing
    // another): false leaves the editor as it was.
    bool setScale(double factor);
    // The editor's size in pixels: the window's, or what it will be.
    editor::EditorSize size() const;
    bool show();
    bool hide();
    void onTimer(Id timer);
    void onFd(int fd, std::uint32_t flags);

private:
    void setParameterAutomated(int index, float value) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;
    void send(const EditorEvent& event);
    void requestDelivery();
    void pump();
    void release();

    const Host* host_;
    EffectCore& core_;
    EditorQueue& queue_;
    const std::atomic<bool>& processing_;
    const HostParams* hostParams_ = nullptr;
    const HostGui* hostGui_ = nullptr;
    const HostTimerSupport* timers_ = nullptr;
    const HostPosixFdSupport* fds_ = nullptr;
    editor::ParamMirror mirror_{};
    std::unique_ptr<editor::TPluginEditorWindow> window_;
    Id timer_ = kInvalidId;
    int fd_ = -1;
    double hostScale_ = 0.0;
    bool waiting_ = false;  // events wait for room in the queue
};

}  // namespace halvorine::clap
