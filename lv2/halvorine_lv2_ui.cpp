// The LV2 UIs: the plug-in's own editor window, in two wrappings.
//   X11 UI   the window goes into the host's window (ui:parent) and runs
//            on the host's idle calls (ui:idleInterface).
//   GTK 3 UI a GtkDrawingArea for GTK 3 hosts that cannot embed an X11 UI:
//            the window goes into the drawing area's own X window whenever
//            GTK makes one (realize) and leaves before GTK destroys it
//            (unrealize); a GLib timeout of ours runs it, and the drawing
//            area asks GTK for the editor's size. GTK is found in the host's
//            process at run time (gtk3.h): without GTK 3 on X11 there is no
//            such UI and instantiate returns null.
// Values the user sets go to the host as port values in units through
// write_function; port events from the host move the sliders and the
// readout. The host's ui:scaleFactor (an option, at instantiation or later
// through the options interface) sizes the editor, and ui:resize tells the
// host the editor's size.
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "gtk3.h"
#include "ports.h"
#include "uEditor.h"

namespace halvorine::lv2 {
namespace {

using editor::TPluginEditorWindow;

// The control port of a slot (0..8, 11..18), or -1 for one without a port.
int portOfSlot(int slot) {
    for (int k = 0; k < kAllControlCount; ++k)
        if (controlSlot(k) == slot) return controlPort(k);
    return -1;
}

// The slot a port drives, or -1 for the audio, bypass and notes ports.
int slotOfPort(std::uint32_t port) {
    for (int k = 0; k < kAllControlCount; ++k)
        if (static_cast<std::uint32_t>(controlPort(k)) == port) return controlSlot(k);
    return -1;
}

class Ui final : private editor::EditorOwner {
public:
    Ui(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch,
       const LV2UI_Resize* resize, const LV2_URID_Map* map)
        : write_(write), controller_(controller), touch_(touch), resize_(resize) {
        if (map) {
            scaleFactorKey_ = map->map(map->handle, LV2_UI__scaleFactor);
            floatType_ = map->map(map->handle, LV2_ATOM__Float);
            doubleType_ = map->map(map->handle, LV2_ATOM__Double);
        }
        for (int slot = 0; slot < static_cast<int>(mirror_.size()); ++slot) {
            const float v = engine::parameterInfo(slot).defaultValue;
            mirror_[static_cast<std::size_t>(slot)].store(v, std::memory_order_relaxed);
        }
    }

    ~Ui() { gtk_.reset(); }

    // Makes the window inside `parent`; false when the window system refuses.
    bool open(void* parent) {
        window_ = std::make_unique<TPluginEditorWindow>(static_cast<EditorOwner*>(this), mirror_,
                                                       editor::createWindowBackend(), nullptr,
                                                       editor::EditorVariant::WithCarrierRow);
        window_->setHostScale(hostScale_);
        window_->setSizeHandler([this](int width, int height) { askResize(width, height); });
        if (!window_->createIn(parent)) return false;
        auto& backend = window_->backend();
        backend.setBounds(0, 0, window_->clientWidth(), window_->clientHeight());
        backend.show();
        window_->SetAll();
        backend.repaintNow();
        return true;
    }

    void close() { window_.reset(); }  // ends a drag in progress, as a release would

    // Wraps the editor in a GTK 3 drawing area (see the top of this file).
    bool wrapInGtk(const gtk3::Api& gtk);

    void* widget() const;
    int width() const { return window_->clientWidth(); }
    int height() const { return window_->clientHeight(); }

    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format,
                   const void* buffer) {
        if (format != 0 || size != sizeof(float) || !buffer) return;
        const int slot = slotOfPort(port);
        if (slot < 0) return;  // the editor shows the parameters, not the bypass
        float value;
        std::memcpy(&value, buffer, sizeof value);
        const float v = engine::toNormalised(slot, value);
        auto& entry = mirror_[static_cast<std::size_t>(slot)];
        if (entry.load(std::memory_order_relaxed) == v) return;  // an echo of our own write
        entry.store(v, std::memory_order_relaxed);  // the timer moves the slider
        if (window_ && !window_->dragging) window_->SetLabel(slot);
    }

    void askResize(int width, int height);
    // The size the window has, or will have when it is made.
    editor::EditorSize size() const {
        if (window_) return {window_->clientWidth(), window_->clientHeight()};
        return TPluginEditorWindow::sizeFor(hostScale_, nullptr, editor::EditorVariant::WithCarrierRow);
    }

    // Reads the options the UI knows (ui:scaleFactor) from a list ending in
    // a zero key; the others are left alone.
    std::uint32_t setOptions(const LV2_Options_Option* options) {
        std::uint32_t status = LV2_OPTIONS_SUCCESS;
        for (const LV2_Options_Option* o = options; o && o->key != 0; ++o) {
            if (scaleFactorKey_ == 0 || o->key != scaleFactorKey_) continue;
            double factor = 0.0;
            if (o->type == floatType_ && o->size == sizeof(float) && o->value)
                factor = *static_cast<const float*>(o->value);
            else if (o->type == doubleType_ && o->size == sizeof(double) && o->value)
                factor = *static_cast<const double*>(o->value);
            else {
                status |= LV2_OPTIONS_ERR_BAD_VALUE;
                continue;
            }
            hostScale_ = factor;
            if (window_) {
                window_->setHostScale(factor);
            } else if (gtk_) {  // the drawing area waits for GTK: its size follows
                const editor::EditorSize s = size();
                askResize(s.width, s.height);
            }
        }
        return status;
    }

    int idle() {
        if (!window_) return 0;
        window_->backend().idle();
        window_->backend().repaintNow();
        return 0;
    }

private:
    // EditorOwner.
    void setParameterAutomated(int index, float value) override {
        const int port = portOfSlot(index);
        if (port < 0) return;
        const float units = static_cast<float>(engine::toUnits(index, value));
        write_(controller_, static_cast<std::uint32_t>(port), sizeof units, 0, &units);
    }
    void beginEdit(int index) override { touch(index, true); }
    void endEdit(int index) override { touch(index, false); }
    void touch(int index, bool grabbed) {
        if (const int port = portOfSlot(index); touch_ && port >= 0)
            touch_->touch(touch_->handle, static_cast<std::uint32_t>(port), grabbed);
    }

    LV2UI_Write_Function write_;
    LV2UI_Controller controller_;
    const LV2UI_Touch* touch_;
    const LV2UI_Resize* resize_;
    LV2_URID scaleFactorKey_ = 0, floatType_ = 0, doubleType_ = 0;
    double hostScale_ = 0.0;
    editor::ParamMirror mirror_{};
    std::unique_ptr<TPluginEditorWindow> window_;
    struct Gtk;
    std::unique_ptr<Gtk> gtk_;  // the GTK 3 UI's drawing area, when this is one
};

// The GTK 3 UI's side: the drawing area (a reference of ours until cleanup),
// its signal handlers and the timeout. All on GTK's main thread.
struct Ui::Gtk {
    static constexpr unsigned kPeriodMs = 15;  // events, the editor's 25 ms timer, repaints

    gtk3::Api api;
    Ui& ui;
    void* area = nullptr;
    unsigned long realizeId = 0, unrealizeId = 0;
    unsigned timeout = 0;

    Gtk(const gtk3::Api& gtk, Ui& owner) : api(gtk), ui(owner) {}
    ~Gtk() {
        if (timeout) api.g_source_remove(timeout);
        // A widget the host destroyed has lost its handlers already.
        for (const unsigned long id : {realizeId, unrealizeId})
            if (area && id && api.g_signal_handler_is_connected(area, id))
                api.g_signal_handler_disconnect(area, id);
        ui.close();  // before GTK may destroy the X window it lives in
        if (area) api.g_object_unref(area);
    }

    static void realized(void*, void* self) { static_cast<Gtk*>(self)->attach(); }
    static void unrealizing(void*, void* self) { static_cast<Gtk*>(self)->ui.close(); }
    static int tick(void* self) {
        static_cast<Gtk*>(self)->ui.idle();
        return 1;  // G_SOURCE_CONTINUE
    }

    // The drawing area has its GdkWindow: made a real X window, and known
    // to the X server before the editor's own connection names it.
    void attach() {
        void* window = api.gtk_widget_get_window(area);
        if (!window || !api.gdk_window_ensure_native(window)) return;
        const unsigned long xid = api.gdk_x11_window_get_xid(window);
        api.gdk_display_sync(api.gdk_window_get_display(window));
        ui.close();
        try {
            if (!ui.open(reinterpret_cast<void*>(static_cast<std::uintptr_t>(xid)))) ui.close();
        } catch (...) {
            ui.close();  // out of memory: the area stays empty
        }
    }
};

bool Ui::wrapInGtk(const gtk3::Api& api) {
    gtk_ = std::make_unique<Gtk>(api, *this);
    Gtk& g = *gtk_;
    g.area = api.g_object_ref_sink(api.gtk_drawing_area_new());
    if (!g.area) return false;
    g.realizeId = api.g_signal_connect_data(g.area, "realize", reinterpret_cast<void (*)()>(&Gtk::realized),
                                            &g, nullptr, gtk3::kConnectAfter);
    g.unrealizeId = api.g_signal_connect_data(g.area, "unrealize",
                                              reinterpret_cast<void (*)()>(&Gtk::unrealizing), &g,
                                              nullptr, 0);
    g.timeout = api.g_timeout_add(Gtk::kPeriodMs, &Gtk::tick, &g);
    const editor::EditorSize s = size();
    askResize(s.width, s.height);
    return g.realizeId && g.unrealizeId && g.timeout;
}

void* Ui::widget() const {
    if (gtk_) return gtk_->area;
    return window_ ? window_->backend().nativeHandle() : nullptr;
}

void Ui::askResize(int width, int height) {
    if (gtk_ && gtk_->area) {
        // GTK lays widgets out in its own units, each GDK_SCALE pixels wide.
        const int f = std::max(1, gtk_->api.gtk_widget_get_scale_factor(gtk_->area));
        width = (width + f - 1) / f;
        height = (height + f - 1) / f;
        gtk_->api.gtk_widget_set_size_request(gtk_->area, width, height);
    }
    if (resize_ && resize_->ui_resize) resize_->ui_resize(resize_->handle, width, height);
}

const void* feature(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    void* parent = const_cast<void*>(feature(features, LV2_UI__parent));
    if (!write || !widget || !parent) return nullptr;
    const auto* resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize));
    const auto* touch = static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch));
    const auto* map = static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map));
    const auto* options = static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options));
    try {
        auto ui = std::make_unique<Ui>(write, controller, touch, resize, map);
        ui->setOptions(options);
        if (!ui->open(parent)) return nullptr;
        *widget = ui->widget();
        ui->askResize(ui->width(), ui->height());
        return ui.release();
    } catch (...) {
        return nullptr;  // out of memory: no UI
    }
}

// The GTK 3 UI: no parent needed, nothing asked of the host but GTK 3.
LV2UI_Handle instantiateGtk(const LV2UI_Descriptor*, const char*, const char*,
                            LV2UI_Write_Function write, LV2UI_Controller controller,
                            LV2UI_Widget* widget, const LV2_Feature* const* features) {
    gtk3::Api gtk{};
    if (!write || !widget || !gtk3::find(gtk)) return nullptr;
    const auto* resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize));
    const auto* touch = static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch));
    const auto* map = static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map));
    const auto* options = static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options));
    try {
        auto ui = std::make_unique<Ui>(write, controller, touch, resize, map);
        ui->setOptions(options);
        if (!ui->wrapInGtk(gtk)) return nullptr;
        *widget = ui->widget();
        return ui.release();
    } catch (...) {
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle) { delete static_cast<Ui*>(handle); }

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    static_cast<Ui*>(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) { return static_cast<Ui*>(handle)->idle(); }

const LV2UI_Idle_Interface kIdleInterface = {idle};

std::uint32_t getOptions(LV2_Handle, LV2_Options_Option* options) {
    return options && options->key != 0 ? LV2_OPTIONS_ERR_UNKNOWN : LV2_OPTIONS_SUCCESS;
}

std::uint32_t setOptions(LV2_Handle handle, const LV2_Options_Option* options) {
    return static_cast<Ui*>(handle)->setOptions(options);
}

const LV2_Options_Interface kOptionsInterface = {getOptions, setOptions};

const void* extensionData(const char* uri) {
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdleInterface;
    if (std::strcmp(uri, LV2_OPTIONS__interface) == 0) return &kOptionsInterface;
    return nullptr;
}

const void* extensionDataGtk(const char* uri) {
    return std::strcmp(uri, LV2_OPTIONS__interface) == 0 ? &kOptionsInterface : nullptr;
}

const LV2UI_Descriptor kDescriptors[] = {
    {kUiUri, instantiate, cleanup, portEvent, extensionData},
    {kGtkUiUri, instantiateGtk, cleanup, portEvent, extensionDataGtk},
};

}  // namespace
}  // namespace halvorine::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    using halvorine::lv2::kDescriptors;
    return index < sizeof kDescriptors / sizeof kDescriptors[0] ? &kDescriptors[index] : nullptr;
}
