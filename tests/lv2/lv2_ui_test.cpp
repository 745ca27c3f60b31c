// The LV2 UI in a real X server, loaded as an LV2 host loads it: lilv finds
// the UI of the plug-in's URI in the bundle, the UI binary is opened, and
// its window goes into a top-level window of ours (ui:parent). The real
// pointer drives a slider, and the port values come out of write_function;
// port events from the host move the sliders.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>

#include <string>
#include <utility>
#include <vector>

#include "ports.h"
#include "x_host.h"

namespace halvorine::test {
namespace {

constexpr int kWidth = 380, kHeight = 220;  // the panel and the carrier row
constexpr int kLeft = 60, kTop = 90;  // the host window on the root
constexpr editor::Rect kShiftSlider{140, 80, 100, 13};
constexpr editor::Rect kBoostSlider{260, 80, 100, 13};
constexpr editor::Rect kReadout{25, 110, 200, 23};
// The carrier row's Octave and Drone, each 77 wide with a travel of 57.
constexpr editor::Rect kOctaveSlider{25, 193, 77, 13};
constexpr editor::Rect kDroneSlider{283, 193, 77, 13};

// The UI's descriptor, found through lilv by the plug-in's URI.
const LV2UI_Descriptor* uiDescriptor(std::string* bundlePath) {
    LilvWorld* world = lilv_world_new();
    LilvNode* dir = lilv_new_file_uri(world, nullptr, HALVORINE_LV2_BUNDLE "/");
    lilv_world_load_bundle(world, dir);
    LilvNode* pluginUri = lilv_new_uri(world, lv2::kPluginUri);
    LilvNode* uiUri = lilv_new_uri(world, lv2::kUiUri);
    LilvNode* x11 = lilv_new_uri(world, LV2_UI__X11UI);
    const LV2UI_Descriptor* descriptor = nullptr;
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), pluginUri);
    LilvUIs* uis = plugin ? lilv_plugin_get_uis(plugin) : nullptr;
    const LilvUI* ui = uis ? lilv_uis_get_by_uri(uis, uiUri) : nullptr;
    if (ui && lilv_ui_is_a(ui, x11)) {
        char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
        char* bundle = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_bundle_uri(ui)), nullptr);
        *bundlePath = bundle;
        // Stays loaded: the test program ends with it.
        if (void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL))
            if (auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor")))
                descriptor = entry(0);
        lilv_free(path);
        lilv_free(bundle);
    }
    lilv_uis_free(uis);
    for (LilvNode* n : {dir, pluginUri, uiUri, x11}) lilv_node_free(n);
    lilv_world_free(world);
    return descriptor;
}

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

TEST(Lv2Ui, EmbedsTheEditorAndTalksInPortValues) {
    std::string bundle;
    const LV2UI_Descriptor* d = uiDescriptor(&bundle);
    ASSERT_NE(d, nullptr) << "no X11 UI for " << lv2::kPluginUri;
    EXPECT_STREQ(d->URI, lv2::kUiUri);
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);

    XHost x;
    ASSERT_TRUE(x.ok());
    const Window parent = x.createTopLevel(kLeft, kTop, kWidth, kHeight);
    Recorder recorder;
    LV2UI_Resize resize{&recorder, Recorder::resize};
    LV2UI_Touch touch{&recorder, Recorder::touch};
    const LV2_Feature parentFeature{LV2_UI__parent, handle(parent)};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    const LV2_Feature touchFeature{LV2_UI__touch, &touch};
    const LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
    const LV2_Feature* features[] = {&parentFeature, &resizeFeature, &touchFeature, &idleFeature,
                                     nullptr};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui = d->instantiate(d, lv2::kPluginUri, bundle.c_str(), Recorder::write,
                                     &recorder, &widget, features);
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(recorder.width, kWidth);
    EXPECT_EQ(recorder.height, kHeight);
    const auto children = x.children(parent);
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(handle(children[0]), widget) << "the widget is the embedded window";
    const auto pump = [&](const std::function<bool()>& done) {
        return pumpUntil([&] { idle->idle(ui); }, done);
    };

    // A press at X = 30 of the Boost slider: (30 - 10) / 80 = 0.25, -10 dB.
    x.moveTo(kLeft + kBoostSlider.left + 30, kTop + kBoostSlider.top + 6);
    x.button(1, true);
    EXPECT_TRUE(pump([&] { return recorder.wrote(12, -10.0f); }));
    // Dragged past the right end: +20 dB.
    x.moveTo(kLeft + kWidth + 40, kTop + kBoostSlider.top + 6);
    EXPECT_TRUE(pump([&] { return recorder.wrote(12, 20.0f); }));
    x.button(1, false);
    // The Shift slider writes whole band counts: X = 50 is 0.5, 31 bands.
    x.moveTo(kLeft + kShiftSlider.left + 50, kTop + kShiftSlider.top + 6);
    x.button(1, true);
    x.button(1, false);
    EXPECT_TRUE(pump([&] { return recorder.wrote(10, 31.0f); }));
    // Each drag is framed by touch, for the host's touch automation.
    EXPECT_TRUE(pump([&] { return recorder.touches.size() == 4; }));
    const std::vector<std::pair<std::uint32_t, bool>> gestures = {
        {12, true}, {12, false}, {10, true}, {10, false}};
    EXPECT_EQ(recorder.touches, gestures);
    for (const Write& w : recorder.writes) {
        EXPECT_TRUE(w.port == 10 || w.port == 12) << w.port;
        EXPECT_GE(w.value, w.port == 12 ? -20.0f : 0.0f);
        EXPECT_LE(w.value, w.port == 12 ? 20.0f : 63.0f);
    }
    // The carrier row's Octave pressed at its right end: +2 on the synth's
    // octave port, framed by touch.
    const std::uint32_t octavePort = lv2::kFirstSynthPort + 4, dronePort = lv2::kFirstSynthPort + 7;
    x.moveTo(kLeft + kOctaveSlider.left + 67, kTop + kOctaveSlider.top + 6);
    x.button(1, true);
    x.button(1, false);
    EXPECT_TRUE(pump([&] { return recorder.wrote(octavePort, 2.0f) && recorder.touches.size() == 6; }));
    EXPECT_EQ(recorder.touches.back(), std::make_pair(octavePort, false));

    // The host moves Shift to 5 bands and the drone to A4: their sliders and
    // the readout change.
    x.moveTo(kLeft + kWidth + 100, kTop + kHeight + 100);
    for (int i = 0; i < 10; ++i) idle->idle(ui);
    const editor::Canvas before = x.capture(children[0]);
    ASSERT_EQ(before.width(), kWidth);
    const float five = 5.0f, a4 = 58.0f;  // the drone's units: 1 + key - 12
    const auto writes = recorder.writes.size();
    d->port_event(ui, 10, sizeof five, 0, &five);
    d->port_event(ui, dronePort, sizeof a4, 0, &a4);
    editor::Canvas after;
    EXPECT_TRUE(pump([&] {
        after = x.capture(children[0]);
        return after.width() == kWidth && differs(before, after, kShiftSlider) &&
               differs(before, after, kReadout) && differs(before, after, kDroneSlider);
    }));
    EXPECT_FALSE(differs(before, after, kBoostSlider));
    EXPECT_EQ(recorder.writes.size(), writes) << "a port event is not written back";

    d->cleanup(ui);
    EXPECT_TRUE(x.children(parent).empty());
    x.destroy(parent);
}

// The host's ui:scaleFactor, given at instantiation and changed later
// through the options interface, sizes the editor, and ui:resize hears of it.
TEST(Lv2Ui, FollowsTheHostsScaleFactor) {
    std::string bundle;
    const LV2UI_Descriptor* d = uiDescriptor(&bundle);
    ASSERT_NE(d, nullptr);
    const auto* options =
        static_cast<const LV2_Options_Interface*>(d->extension_data(LV2_OPTIONS__interface));
    ASSERT_NE(options, nullptr);
    XHost x;
    ASSERT_TRUE(x.ok());
    const Window parent = x.createTopLevel(kLeft, kTop, kWidth * 3, kHeight * 3);
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
    const LV2_Feature parentFeature{LV2_UI__parent, handle(parent)};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    const LV2_Feature mapFeature{LV2_URID__map, &urids.map};
    const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(given)};
    const LV2_Feature* features[] = {&parentFeature, &resizeFeature, &mapFeature, &optionsFeature, nullptr};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui = d->instantiate(d, lv2::kPluginUri, bundle.c_str(), Recorder::write, &recorder,
                                     &widget, features);
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(recorder.width, kWidth * 2);
    EXPECT_EQ(recorder.height, kHeight * 2);
    EXPECT_EQ(childSize(x, parent), std::make_pair(kWidth * 2, kHeight * 2));
    factor = 3.0f;
    EXPECT_EQ(options->set(ui, given + 1), 0u);
    EXPECT_EQ(recorder.width, kWidth * 3);
    EXPECT_EQ(recorder.height, kHeight * 3);
    EXPECT_TRUE(pumpUntil([] {}, [&] { return childSize(x, parent) == std::make_pair(kWidth * 3, kHeight * 3); }));
    d->cleanup(ui);
    x.destroy(parent);
}

}  // namespace
}  // namespace halvorine::test
