// The LV2 UIs in a real X server, loaded as an LV2 host loads them: lilv
// finds the UI of the plug-in's URI in the bundle, the UI binary is opened,
// and its editor window goes into a host window: an X11 window of ours
// (ui:parent) for the X11 UI, a GtkWindow of GTK 3 (opened as a GTK host
// links it) for the GTK 3 UI. The real pointer drives a slider, and the port
// values come out of write_function; port events from the host move the
// sliders.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>

#include <cstring>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ports.h"
#include "x_host.h"

namespace halvorine::test {
namespace {

constexpr int kWidth = 380, kHeight = 220;  // the panel and the carrier row
constexpr int kLeft = 60, kTop = 90;  // the X11 host window on the root
constexpr editor::Rect kShiftSlider{140, 80, 100, 13};
constexpr editor::Rect kBoostSlider{260, 80, 100, 13};
constexpr editor::Rect kReadout{25, 110, 200, 23};
// The carrier row's Octave and Drone, each 77 wide with a travel of 57.
constexpr editor::Rect kOctaveSlider{25, 193, 77, 13};
constexpr editor::Rect kDroneSlider{283, 193, 77, 13};

// One of the bundle's UIs, as the hosts that take it show it.
struct UiKind {
    const char* name;
    const char* uri;
    const char* uiClass;
    bool gtk;  // in a GtkWindow, run by GTK's main loop; else in an X11 window, run by idle calls
};
void PrintTo(const UiKind& kind, std::ostream* out) { *out << kind.name; }
const UiKind kUiKinds[] = {
    {"X11", lv2::kUiUri, LV2_UI__X11UI, false},
    {"Gtk3", lv2::kGtkUiUri, LV2_UI__Gtk3UI, true},
};

// The descriptor of the UI `kind`, found through lilv by the plug-in's URI.
const LV2UI_Descriptor* uiDescriptor(const UiKind& kind, std::string* bundlePath) {
    LilvWorld* world = lilv_world_new();
    LilvNode* dir = lilv_new_file_uri(world, nullptr, HALVORINE_LV2_BUNDLE "/");
    lilv_world_load_bundle(world, dir);
    LilvNode* pluginUri = lilv_new_uri(world, lv2::kPluginUri);
    LilvNode* uiUri = lilv_new_uri(world, kind.uri);
    LilvNode* uiClass = lilv_new_uri(world, kind.uiClass);
    const LV2UI_Descriptor* descriptor = nullptr;
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), pluginUri);
    LilvUIs* uis = plugin ? lilv_plugin_get_uis(plugin) : nullptr;
    const LilvUI* ui = uis ? lilv_uis_get_by_uri(uis, uiUri) : nullptr;
    if (ui && lilv_ui_is_a(ui, uiClass)) {
        char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
        char* bundle = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_bundle_uri(ui)), nullptr);
        *bundlePath = bundle;
        // Stays loaded: the test program ends with it.
        if (void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL))
            if (auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor")))
                for (std::uint32_t i = 0; const LV2UI_Descriptor* d = entry(i); ++i)
                    if (std::strcmp(d->URI, kind.uri) == 0) descriptor = d;
        lilv_free(path);
        lilv_free(bundle);
    }
    lilv_uis_free(uis);
    for (LilvNode* n : {dir, pluginUri, uiUri, uiClass}) lilv_node_free(n);
    lilv_world_free(world);
    return descriptor;
}

// GTK 3 as a GTK host has it: linked into the process with its symbols
// global, initialised on the test's X server. Null when it cannot be.
struct Gtk {
    int (*init_check)(int*, char***);
    void* (*window_new)(int);
    void (*container_add)(void*, void*);
    void (*container_remove)(void*, void*);
    void (*show_all)(void*);
    void (*widget_destroy)(void*);
    int (*events_pending)();
    int (*main_iteration_do)(int);
    void* (*widget_get_window)(void*);
    unsigned long (*window_get_xid)(void*);
    void (*get_size_request)(void*, int*, int*);
    void* (*log_set_default_handler)(void (*)(const char*, int, const char*, void*), void*);

    // GLib's and GTK's criticals and warnings (a GTK host shows them, a
    // careful one makes them fatal) fail the test; others (the
    // accessibility bus missing under Xvfb) pass.
    static void countWarning(const char* domain, int level, const char* message, void*) {
        constexpr int kCriticalOrWarning = (1 << 3) | (1 << 4);  // G_LOG_LEVEL_CRITICAL, _WARNING
        const std::string d = domain ? domain : "";
        if ((level & kCriticalOrWarning) && (d.rfind("GLib", 0) == 0 || d == "Gtk" || d == "Gdk")) {
            ADD_FAILURE() << d << ": " << message;
        }
    }
    static const Gtk* get() {
        static const Gtk* gtk = [] () -> const Gtk* {
            void* library = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_GLOBAL);
            if (!library) return nullptr;
            static Gtk g;
            const auto load = [&](auto& f, const char* name) {
                f = reinterpret_cast<std::remove_reference_t<decltype(f)>>(dlsym(library, name));
                return f != nullptr;
            };
            if (!load(g.init_check, "gtk_init_check") || !load(g.window_new, "gtk_window_new") ||
                !load(g.container_add, "gtk_container_add") ||
                !load(g.container_remove, "gtk_container_remove") || !load(g.show_all, "gtk_widget_show_all") ||
                !load(g.widget_destroy, "gtk_widget_destroy") ||
                !load(g.events_pending, "gtk_events_pending") ||
                !load(g.main_iteration_do, "gtk_main_iteration_do") ||
                !load(g.widget_get_window, "gtk_widget_get_window") ||
                !load(g.window_get_xid, "gdk_x11_window_get_xid") ||
                !load(g.get_size_request, "gtk_widget_get_size_request") ||
                !load(g.log_set_default_handler, "g_log_set_default_handler") ||
                !g.init_check(nullptr, nullptr))
                return nullptr;
            g.log_set_default_handler(&Gtk::countWarning, nullptr);
            return &g;
        }();
        return gtk;
    }
    // Runs what GTK's main loop has due (events, our UI's timeout).
    void iterate() const {
        while (events_pending()) main_iteration_do(0);
    }
    std::pair<int, int> sizeRequest(void* widget) const {
        int w = 0, h = 0;
        get_size_request(widget, &w, &h);
        return {w, h};
    }
};

struct Write {
    std::uint32_t port;
    float value;
};

struct Recorder {
    std::vector<Write> writes;
    std::vector<std::pair<std::uint32_t, bool>> touches;  // port, grabbed
    int width = 0, height = 0;

    static void touch(LV2UI_Feature_Handle handle, std::uint32_t port, bool grabbed) {
        static_cast<Recorder*>(handle)->touches.emplace_back(port, grabbed);
    }

    static void write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size,
                      std::uint32_t protocol, const void* buffer) {
        auto* self = static_cast<Recorder*>(controller);
        if (protocol == 0 && size == sizeof(float))
            self->writes.push_back({port, *static_cast<const float*>(buffer)});
    }
    static int resize(LV2UI_Feature_Handle handle, int w, int h) {
        auto* self = static_cast<Recorder*>(handle);
        self->width = w;
        self->height = h;
        return 0;
    }
    bool wrote(std::uint32_t port, float value) const {
        return !writes.empty() && writes.back().port == port && writes.back().value == value;
    }
};

// A host's URID map: each URI its index in the list, plus one.
struct UridMap {
    std::vector<std::string> uris;
    LV2_URID_Map map{this, &UridMap::mapUri};
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
        auto& uris = static_cast<UridMap*>(handle)->uris;
        for (std::size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
};

// The window the UI made in `parent`, and its size.
std::pair<int, int> childSize(XHost& x, Window parent) {
    const auto children = x.children(parent);
    XWindowAttributes attributes{};
    if (children.size() != 1 || !XGetWindowAttributes(x.display(), children[0], &attributes))
        return {0, 0};
    return {attributes.width, attributes.height};
}

bool differs(const editor::Canvas& a, const editor::Canvas& b, const editor::Rect& r) {
    for (int y = r.top; y < r.top + r.height; ++y)
        for (int x = r.left; x < r.left + r.width; ++x)
            if (a.at(x, y) != b.at(x, y)) return true;
    return false;
}

// A host without GTK 3 in its process (GTK 2, Qt, none) gets no GTK 3 UI,
// and no crash. Defined first, to run before anything here loads GTK (ctest
// runs each test in a process of its own anyway).
TEST(Lv2Ui, MakesNoGtkUiWithoutGtk3) {
    if (void* gtk = dlopen("libgtk-3.so.0", RTLD_LAZY | RTLD_NOLOAD)) {
        dlclose(gtk);
        GTEST_SKIP() << "GTK 3 is already in this process";
    }
    std::string bundle;
    const LV2UI_Descriptor* d = uiDescriptor(kUiKinds[1], &bundle);
    ASSERT_NE(d, nullptr);
    Recorder recorder;
    LV2UI_Widget widget = nullptr;
    const LV2_Feature* features[] = {nullptr};
    EXPECT_EQ(d->instantiate(d, lv2::kPluginUri, bundle.c_str(), Recorder::write, &recorder, &widget,
                             features),
              nullptr);
    EXPECT_EQ(widget, nullptr);
}

// A host of one kind of UI: its window, the UI instantiated in it, and
// what runs the UI between events (the idle calls of an X11 host, GTK's
// main loop for a GTK host).
class Host {
public:
    Host(const UiKind& kind, XHost& x) : kind_(kind), x_(x) {}
    ~Host() {
        if (ui_) descriptor_->cleanup(ui_);
        if (gtkWindow_) {
            gtk_->widget_destroy(gtkWindow_);
            gtk_->iterate();
        }
        if (parent_) x_.destroy(parent_);
    }

    // Null, with the reason in `why`, when this machine cannot host the kind.
    const LV2UI_Descriptor* descriptor(std::string* why) {
        if (kind_.gtk && !(gtk_ = Gtk::get())) {
            *why = "GTK 3 (libgtk-3-0) is not installed";
            return nullptr;
        }
        descriptor_ = uiDescriptor(kind_, &bundle_);
        if (!descriptor_) *why = std::string("no ") + kind_.name + " UI for " + lv2::kPluginUri;
        return descriptor_;
    }

    // Instantiates the UI with `features` and shows it in a host window of
    // `width` x `height` (the GTK host's window takes the widget's size);
    // the host's parent and, for X11, the idle interface are added.
    bool show(Recorder& recorder, std::vector<const LV2_Feature*> features, int width, int height) {
        LV2_Feature parent{LV2_UI__parent, nullptr};
        const LV2_Feature idle{LV2_UI__idleInterface, nullptr};
        if (kind_.gtk) {
            parent.data = gtkWindow_ = gtk_->window_new(0);  // GTK hosts give their container
        } else {
            parent_ = x_.createTopLevel(kLeft, kTop, width, height);
            parent.data = handle(parent_);
            idle_ = static_cast<const LV2UI_Idle_Interface*>(
                descriptor_->extension_data(LV2_UI__idleInterface));
            features.push_back(&idle);
        }
        features.insert(features.begin(), &parent);
        features.push_back(nullptr);
        ui_ = descriptor_->instantiate(descriptor_, lv2::kPluginUri, bundle_.c_str(), Recorder::write,
                                       &recorder, &widget_, features.data());
        if (!ui_ || !widget_) return false;
        if (kind_.gtk) {
            gtk_->container_add(gtkWindow_, widget_);
            gtk_->show_all(gtkWindow_);
            pumpUntil([&] { step(); }, [&] { return gtk_->widget_get_window(widget_) != nullptr; });
        }
        return idle_ || kind_.gtk;
    }

    // The X window the editor's window is made in: the host's window, or
    // the drawing area's own.
    Window container() const {
        if (!kind_.gtk) return parent_;
        void* window = gtk_->widget_get_window(widget_);
        return window ? gtk_->window_get_xid(window) : 0;
    }
    // The editor's window, once it is the container's only child.
    Window editorWindow() {
        const auto children = x_.children(container());
        return children.size() == 1 ? children[0] : 0;
    }
    // What the host runs between events.
    void step() {
        if (kind_.gtk)
            gtk_->iterate();
        else
            idle_->idle(ui_);
    }
    bool pump(const std::function<bool()>& done) { return pumpUntil([&] { step(); }, done); }
    void settle() { pumpUntil([&] { step(); }, [] { return false; }, 150); }
    // The size the GTK host's layout gives the widget; the X11 host has none.
    std::pair<int, int> sizeRequest() const {
        return kind_.gtk ? gtk_->sizeRequest(widget_) : std::make_pair(0, 0);
    }
    void cleanup() {
        descriptor_->cleanup(ui_);
        ui_ = nullptr;
    }

    LV2UI_Handle ui() const { return ui_; }
    LV2UI_Widget widget() const { return widget_; }
    // The GTK host moves the widget into a new window of its own: GTK
    // unrealizes it and realizes it again, with a new X window.
    void moveToNewWindow() {
        void* window = gtk_->window_new(0);
        gtk_->container_remove(gtkWindow_, widget_);
        gtk_->widget_destroy(gtkWindow_);
        gtkWindow_ = window;
        gtk_->container_add(gtkWindow_, widget_);
        gtk_->show_all(gtkWindow_);
    }
    // The GTK host closes its window before it cleans the UI up.
    void destroyWindow() {
        gtk_->widget_destroy(gtkWindow_);
        gtkWindow_ = nullptr;
        gtk_->iterate();
    }
    const LV2UI_Descriptor& d() const { return *descriptor_; }

private:
    const UiKind& kind_;
    XHost& x_;
    const Gtk* gtk_ = nullptr;
    const LV2UI_Descriptor* descriptor_ = nullptr;
    std::string bundle_;
    Window parent_ = 0;
    void* gtkWindow_ = nullptr;
    LV2UI_Handle ui_ = nullptr;
    LV2UI_Widget widget_ = nullptr;
    const LV2UI_Idle_Interface* idle_ = nullptr;
};

// Where a window's top-left pixel is on the root.
std::pair<int, int> rootOrigin(XHost& x, Window window) {
    int rx = 0, ry = 0;
    Window child = 0;
    XTranslateCoordinates(x.display(), window, DefaultRootWindow(x.display()), 0, 0, &rx, &ry, &child);
    return {rx, ry};
}

class Lv2UiKinds : public ::testing::TestWithParam<UiKind> {};

TEST_P(Lv2UiKinds, EmbedsTheEditorAndTalksInPortValues) {
    XHost x;
    ASSERT_TRUE(x.ok());
    Host host(GetParam(), x);
    std::string why;
    const LV2UI_Descriptor* d = host.descriptor(&why);
    if (!d && GetParam().gtk && why.find("GTK") != std::string::npos) GTEST_SKIP() << why;
    ASSERT_NE(d, nullptr) << why;
    EXPECT_STREQ(d->URI, GetParam().uri);

    Recorder recorder;
    LV2UI_Resize resize{&recorder, Recorder::resize};
    LV2UI_Touch touch{&recorder, Recorder::touch};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    const LV2_Feature touchFeature{LV2_UI__touch, &touch};
    ASSERT_TRUE(host.show(recorder, {&resizeFeature, &touchFeature}, kWidth, kHeight));
    EXPECT_EQ(recorder.width, kWidth);
    EXPECT_EQ(recorder.height, kHeight);
    if (GetParam().gtk) {
        EXPECT_EQ(host.sizeRequest(), std::make_pair(kWidth, kHeight));
    }
    EXPECT_TRUE(host.pump([&] { return host.editorWindow() != 0; })) << "no editor window in the host's";
    const Window editorWindow = host.editorWindow();
    ASSERT_NE(editorWindow, 0u);
    if (!GetParam().gtk) {
        EXPECT_EQ(handle(editorWindow), host.widget()) << "the widget is the embedded window";
    }
    const auto [left, top] = rootOrigin(x, editorWindow);
    LV2UI_Handle ui = host.ui();

    // A press at X = 30 of the Boost slider: (30 - 10) / 80 = 0.25, -10 dB.
    x.moveTo(left + kBoostSlider.left + 30, top + kBoostSlider.top + 6);
    x.button(1, true);
    EXPECT_TRUE(host.pump([&] { return recorder.wrote(12, -10.0f); }));
    // Dragged past the right end: +20 dB.
    x.moveTo(left + kWidth + 40, top + kBoostSlider.top + 6);
    EXPECT_TRUE(host.pump([&] { return recorder.wrote(12, 20.0f); }));
    x.button(1, false);
    // The Shift slider writes whole band counts: X = 50 is 0.5, 31 bands.
    x.moveTo(left + kShiftSlider.left + 50, top + kShiftSlider.top + 6);
    x.button(1, true);
    x.button(1, false);
    EXPECT_TRUE(host.pump([&] { return recorder.wrote(10, 31.0f); }));
    // Each drag is framed by touch, for the host's touch automation.
    EXPECT_TRUE(host.pump([&] { return recorder.touches.size() == 4; }));
    const std::vector<std::pair<std::uint32_t, bool>> gestures = {
        {12, true}, {12, false}, {10, true}, {10, false}};
    EXPECT_EQ(recorder.touches, gestures);
    // Two wheel notches up on Shift (whole bands) in one gesture, then a
    // Ctrl-click back to the default in another.
    recorder.touches.clear();
    for (int i = 0; i < 2; ++i) {
        x.button(4, true);
        x.button(4, false);
    }
    EXPECT_TRUE(host.pump([&] { return recorder.touches.size() == 2; }));
    EXPECT_TRUE(recorder.wrote(10, 33.0f));
    x.control(true);
    x.button(1, true);
    x.button(1, false);
    x.control(false);
    EXPECT_TRUE(host.pump([&] { return recorder.touches.size() == 4; }));
    EXPECT_TRUE(recorder.wrote(10, 31.0f));
    EXPECT_EQ(recorder.touches, (std::vector<std::pair<std::uint32_t, bool>>{
                                    {10, true}, {10, false}, {10, true}, {10, false}}));
    for (const Write& w : recorder.writes) {
        EXPECT_TRUE(w.port == 10 || w.port == 12) << w.port;
        EXPECT_GE(w.value, w.port == 12 ? -20.0f : 0.0f);
        EXPECT_LE(w.value, w.port == 12 ? 20.0f : 63.0f);
    }
    // The carrier row's Octave pressed at its right end: +2 on the synth's
    // octave port, framed by touch.
    const std::uint32_t octavePort = lv2::kFirstSynthPort + 4, dronePort = lv2::kFirstSynthPort + 7;
    x.moveTo(left + kOctaveSlider.left + 67, top + kOctaveSlider.top + 6);
    x.button(1, true);
    x.button(1, false);
    EXPECT_TRUE(host.pump([&] { return recorder.wrote(octavePort, 2.0f) && recorder.touches.size() == 6; }));
    EXPECT_EQ(recorder.touches.back(), std::make_pair(octavePort, false));

    // The host moves Shift to 5 bands and the drone to A4: their sliders and
    // the readout change.
    x.moveTo(left + kWidth + 100, top + kHeight + 100);
    host.settle();
    const editor::Canvas before = x.capture(editorWindow);
    ASSERT_EQ(before.width(), kWidth);
    const float five = 5.0f, a4 = 58.0f;  // the drone's units: 1 + key - 12
    const auto writes = recorder.writes.size();
    d->port_event(ui, 10, sizeof five, 0, &five);
    d->port_event(ui, dronePort, sizeof a4, 0, &a4);
    editor::Canvas after;
    EXPECT_TRUE(host.pump([&] {
        after = x.capture(editorWindow);
        return after.width() == kWidth && differs(before, after, kShiftSlider) &&
               differs(before, after, kReadout) && differs(before, after, kDroneSlider);
    }));
    EXPECT_FALSE(differs(before, after, kBoostSlider));
    EXPECT_EQ(recorder.writes.size(), writes) << "a port event is not written back";

    const Window container = host.container();
    host.cleanup();
    EXPECT_TRUE(x.children(container).empty());
}

// The host's ui:scaleFactor, given at instantiation and changed later
// through the options interface, sizes the editor, and ui:resize (and a GTK
// host's layout) hears of it.
TEST_P(Lv2UiKinds, FollowsTheHostsScaleFactor) {
    XHost x;
    ASSERT_TRUE(x.ok());
    Host host(GetParam(), x);
    std::string why;
    const LV2UI_Descriptor* d = host.descriptor(&why);
    if (!d && GetParam().gtk && why.find("GTK") != std::string::npos) GTEST_SKIP() << why;
    ASSERT_NE(d, nullptr) << why;
    const auto* options =
        static_cast<const LV2_Options_Interface*>(d->extension_data(LV2_OPTIONS__interface));
    ASSERT_NE(options, nullptr);
    Recorder recorder;
    UridMap urids;
    LV2UI_Resize resize{&recorder, Recorder::resize};
    const LV2_URID scaleFactor = urids.map.map(urids.map.handle, LV2_UI__scaleFactor);
    const LV2_URID atomFloat = urids.map.map(urids.map.handle, LV2_ATOM__Float);
    float factor = 2.0f;
    const LV2_Options_Option given[] = {
        {LV2_OPTIONS_INSTANCE, 0, urids.map.map(urids.map.handle, "urn:other"), sizeof factor, atomFloat, &factor},
        {LV2_OPTIONS_INSTANCE, 0, scaleFactor, sizeof factor, atomFloat, &factor},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    const LV2_Feature mapFeature{LV2_URID__map, &urids.map};
    const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(given)};
    ASSERT_TRUE(host.show(recorder, {&resizeFeature, &mapFeature, &optionsFeature}, kWidth * 3, kHeight * 3));
    const auto twice = std::make_pair(kWidth * 2, kHeight * 2);
    const auto thrice = std::make_pair(kWidth * 3, kHeight * 3);
    EXPECT_EQ(std::make_pair(recorder.width, recorder.height), twice);
    if (GetParam().gtk) {
        EXPECT_EQ(host.sizeRequest(), twice);
    }
    EXPECT_TRUE(host.pump([&] { return childSize(x, host.container()) == twice; }));
    factor = 3.0f;
    EXPECT_EQ(options->set(host.ui(), given + 1), 0u);
    EXPECT_EQ(std::make_pair(recorder.width, recorder.height), thrice);
    if (GetParam().gtk) {
        EXPECT_EQ(host.sizeRequest(), thrice);
    }
    EXPECT_TRUE(host.pump([&] { return childSize(x, host.container()) == thrice; }));
}

// A GTK host may move the widget to another window (GTK gives it a new X
// window) and may destroy its window before it cleans the UI up.
TEST(Lv2Ui, GtkUiFollowsItsWidget) {
    XHost x;
    ASSERT_TRUE(x.ok());
    Host host(kUiKinds[1], x);
    std::string why;
    if (!host.descriptor(&why)) {
        if (why.find("GTK") != std::string::npos) GTEST_SKIP() << why;
        FAIL() << why;
    }
    Recorder recorder;
    ASSERT_TRUE(host.show(recorder, {}, kWidth, kHeight));
    EXPECT_TRUE(host.pump([&] { return host.editorWindow() != 0; }));
    const Window first = host.container();
    host.moveToNewWindow();
    EXPECT_TRUE(host.pump([&] { return host.container() != first && host.editorWindow() != 0; }))
        << "no editor in the widget's new X window";
    EXPECT_EQ(x.capture(host.editorWindow()).width(), kWidth);
    host.destroyWindow();
    host.cleanup();
}

INSTANTIATE_TEST_SUITE_P(Hosts, Lv2UiKinds, ::testing::ValuesIn(kUiKinds),
                         [](const ::testing::TestParamInfo<UiKind>& kind) { return std::string(kind.param.name); });

// Hosts that take the first UI they can show (Audacity, jalv) are handed the
// UIs in lilv's order: a GTK 3 host must meet the GTK 3 UI before the X11
// one, which it could only show through a wrapper library it may not find.
TEST(Lv2Ui, GtkHostsMeetTheGtkUiFirst) {
    LilvWorld* world = lilv_world_new();
    LilvNode* dir = lilv_new_file_uri(world, nullptr, HALVORINE_LV2_BUNDLE "/");
    lilv_world_load_bundle(world, dir);
    LilvNode* pluginUri = lilv_new_uri(world, lv2::kPluginUri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), pluginUri);
    ASSERT_NE(plugin, nullptr);
    LilvUIs* uis = lilv_plugin_get_uis(plugin);
    std::vector<std::string> order;
    LILV_FOREACH (uis, i, uis) order.emplace_back(lilv_node_as_uri(lilv_ui_get_uri(lilv_uis_get(uis, i))));
    EXPECT_EQ(order, (std::vector<std::string>{lv2::kGtkUiUri, lv2::kUiUri}));
    lilv_uis_free(uis);
    lilv_node_free(pluginUri);
    lilv_node_free(dir);
    lilv_world_free(world);
}

}  // namespace
}  // namespace halvorine::test
