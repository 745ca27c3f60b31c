#include "gtk3.h"

#include <dlfcn.h>

namespace halvorine::lv2::gtk3 {
namespace {

// A symbol of the process's GTK: among the global ones first (a GTK host
// links it), then in a libgtk-3 the host opened privately; nothing is
// loaded that was not loaded already.
void* lookUp(void* gtk, const char* name) {
    if (void* p = dlsym(RTLD_DEFAULT, name)) return p;
    return gtk ? dlsym(gtk, name) : nullptr;
}

template <typename F>
bool resolve(void* gtk, F& function, const char* name) {
    function = reinterpret_cast<F>(lookUp(gtk, name));
    return function != nullptr;
}

}  // namespace

bool find(Api& api) {
    // The reference RTLD_NOLOAD takes is kept: the library was in the
    // process before us, and stays while a UI may call into it.
    void* gtk = dlopen("libgtk-3.so.0", RTLD_LAZY | RTLD_NOLOAD);
    // GTK 2 has no gtk_get_major_version; GTK 4 answers 4.
    unsigned (*majorVersion)() = nullptr;
    void* (*defaultDisplay)() = nullptr;
    std::size_t (*x11DisplayType)() = nullptr;
    int (*isA)(void*, std::size_t) = nullptr;
    if (!resolve(gtk, majorVersion, "gtk_get_major_version") || majorVersion() != 3) return false;
    const bool all =
        resolve(gtk, defaultDisplay, "gdk_display_get_default") &&
        resolve(gtk, x11DisplayType, "gdk_x11_display_get_type") &&
        resolve(gtk, isA, "g_type_check_instance_is_a") &&
        resolve(gtk, api.gtk_drawing_area_new, "gtk_drawing_area_new") &&
        resolve(gtk, api.gtk_widget_set_size_request, "gtk_widget_set_size_request") &&
        resolve(gtk, api.gtk_widget_get_scale_factor, "gtk_widget_get_scale_factor") &&
        resolve(gtk, api.gtk_widget_get_window, "gtk_widget_get_window") &&
        resolve(gtk, api.gdk_window_ensure_native, "gdk_window_ensure_native") &&
        resolve(gtk, api.gdk_x11_window_get_xid, "gdk_x11_window_get_xid") &&
        resolve(gtk, api.gdk_window_get_display, "gdk_window_get_display") &&
        resolve(gtk, api.gdk_display_sync, "gdk_display_sync") &&
        resolve(gtk, api.g_signal_connect_data, "g_signal_connect_data") &&
        resolve(gtk, api.g_signal_handler_disconnect, "g_signal_handler_disconnect") &&
        resolve(gtk, api.g_signal_handler_is_connected, "g_signal_handler_is_connected") &&
        resolve(gtk, api.g_timeout_add, "g_timeout_add") &&
        resolve(gtk, api.g_source_remove, "g_source_remove") &&
        resolve(gtk, api.g_object_ref_sink, "g_object_ref_sink") &&
        resolve(gtk, api.g_object_unref, "g_object_unref");
    if (!all) return false;
    void* display = defaultDisplay();  // null before gtk_init
    return display && isA(display, x11DisplayType());
}

}  // namespace halvorine::lv2::gtk3
