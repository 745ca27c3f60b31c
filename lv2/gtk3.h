// GTK 3 as the host's process has it: the few entry points the LV2 UI
// calls, looked up at run time, so the UI binary links nothing of GTK, loads
// in any host and makes no GTK UI where there is no GTK 3. Declared from
// GTK's and GLib's public documentation, every GTK type opaque.
#pragma once

#include <cstddef>

namespace halvorine::lv2::gtk3 {

struct Api {
    void* (*gtk_drawing_area_new)();
    void (*gtk_widget_set_size_request)(void* widget, int width, int height);
    int (*gtk_widget_get_scale_factor)(void* widget);
    void* (*gtk_widget_get_window)(void* widget);
    int (*gdk_window_ensure_native)(void* window);
    unsigned long (*gdk_x11_window_get_xid)(void* window);
    void* (*gdk_window_get_display)(void* window);
    void (*gdk_display_sync)(void* display);
    unsigned long (*g_signal_connect_data)(void* instance, const char* signal, void (*handler)(),
                                           void* data, void (*destroy)(void*, void*), int flags);
    void (*g_signal_handler_disconnect)(void* instance, unsigned long id);
    int (*g_signal_handler_is_connected)(void* instance, unsigned long id);
    unsigned (*g_timeout_add)(unsigned milliseconds, int (*function)(void*), void* data);
    int (*g_source_remove)(unsigned id);
    void* (*g_object_ref_sink)(void* object);
    void (*g_object_unref)(void* object);
};

inline constexpr int kConnectAfter = 1;  // GConnectFlags' G_CONNECT_AFTER

// The process's GTK 3, when its default display is an X11 one; false (and
// `api` unusable) when the process has no GTK, another major version of it
// (a GTK 2 or GTK 4 host) or a display of another kind (Wayland).
bool find(Api& api);

}  // namespace halvorine::lv2::gtk3
