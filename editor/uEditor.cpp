#include "uEditor.h"

#include <algorithm>
#include <cmath>

#include "assets.h"
#include "dsp/numeric.h"
#include "parameter_table.h"
#include "parameter_text.h"

namespace halvorine::editor {
namespace {

using dsp::F;
using namespace halvorine::engine;

constexpr Pixel kBufferColour = rgb(128, 128, 128);  // also the sliders' transparent key
constexpr Pixel kSilver = rgb(192, 192, 192);
constexpr Pixel kTextColour = rgb(0, 0, 0);

// The sliders as the mouse handlers identify them: the component's name in
// upper case, in the order they are tested, and the parameter each sets.
struct SliderName {
    const char* upperName;
    int index;
};
constexpr SliderName kSliderNames[] = {
    {"HSTART", 0}, {"HFINISH", 1}, {"HQ", 2},   {"HCSTART", 3}, {"HCFINISH", 4},
    {"HCQ", 5},    {"HMIX", 7},    {"HBOOST", 8}, {"HSHIFT", 6},
};

// The other way: the picture that shows each parameter.
constexpr const char* kSliderOfParameter[TPluginEditorWindow::kSliders] = {
    "Hstart", "HFinish", "HQ", "HcStart", "HcFinish", "HcQ", "Hshift", "HMix", "Hboost"};

int sliderIndexOf(const std::string& name) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    for (const auto& s : kSliderNames)
        if (upper == s.upperName) return s.index;
    return -1;
}

const MaskedImage* imageNamed(const std::string& name) {
    if (name == "sliderBar") return &assets::sliderBar();
    if (name == "knob") return &assets::knob();
    if (name == "readoutStrip") return &assets::readoutStrip();
    return nullptr;
}

bool contains(const Rect& r, int x, int y) {
    return x >= r.left && y >= r.top && x < r.left + r.width && y < r.top + r.height;
}

}  // namespace

TPluginEditorWindow::TPluginEditorWindow(EditorOwner* effect, ParamMirror& mirror,
                                         std::unique_ptr<WindowBackend> backend,
                                         std::function<void(ParamMirror&)> refreshMirror)
    : plugin(effect),
      paramValues(mirror),
      backend_(std::move(backend)),
      refreshMirror_(std::move(refreshMirror)) {
    std::string error;
    if (auto layout = parseLayout(editorLayoutText(), &error)) build(*layout);
    if (const auto create = form_.desc.handlers.find("Create");
        create != form_.desc.handlers.end() && create->second == "FormCreate")
        FormCreate();
}

TPluginEditorWindow::~TPluginEditorWindow() {
    endGesture();      // closed mid-drag: the host still hears the end
    backend_.reset();  // the window goes before the components it shows
}

void TPluginEditorWindow::beginGesture(int index) {
    endGesture();
    gesture_ = index;
    if (plugin) plugin->beginEdit(index);
}

void TPluginEditorWindow::endGesture() {
    wheeling_ = false;
    if (gesture_ < 0) return;
    const int index = gesture_;
    gesture_ = -1;
    if (plugin) plugin->endEdit(index);
}

void TPluginEditorWindow::build(const Layout& layout) {
    for (const ComponentDesc& desc : layout.components) {
        if (desc.kind == ComponentKind::Form) {
            form_.desc = desc;
            form_.bounds = {0, 0, desc.bounds.width, desc.bounds.height};
            continue;
        }
        auto c = std::make_unique<Component>();
        c->desc = desc;
        c->visible = !desc.hidden;
        c->bounds = desc.bounds;
        if (desc.kind == ComponentKind::ImageList) c->images = imageNamed(desc.image);
        if (desc.kind == ComponentKind::Picture && desc.image == "background")
            c->picture = assets::background();  // at factor 1; applyScale enlarges it
        components_.push_back(std::move(c));
    }
    for (auto& c : components_) {
        c->bounds = placeOf(*c);
        bindHandlers(*c);
    }
}

// A child's bounds are relative to its parent; the result is in window
// coordinates.
Rect TPluginEditorWindow::placeOf(const Component& c) const {
    Rect r = c.desc.bounds;
    for (const std::string* parent = &c.desc.parent; !parent->empty();) {
        const Component* p = nullptr;
        for (const auto& candidate : components_)
            if (candidate->desc.name == *parent) p = candidate.get();
        if (!p) break;
        r.left += p->desc.bounds.left;
        r.top += p->desc.bounds.top;
        parent = &p->desc.parent;
    }
    return r;
}

// Handlers are bound by their names in the layout.
void TPluginEditorWindow::bindHandlers(Component& c) {
    for (const auto& [event, handler] : c.desc.handlers) {
        if (event == "MouseDown" && handler == "SetcontrolSelect")
            c.onMouseDown = [this](Component& s, MouseButton b, ShiftState sh, int x) {
                SetcontrolSelect(s, b, sh, x);
            };
        if (event == "MouseMove" && handler == "MoveControl")
            c.onMouseMove = [this](Component& s, int x) { MoveControl(s, x); };
        if (event == "MouseUp" && handler == "MouseUp")
            c.onMouseUp = [this](Component& s) { MouseUp(s); };
    }
}

TPluginEditorWindow::Component* TPluginEditorWindow::component(const std::string& name) {
    for (auto& c : components_)
        if (c->desc.name == name) return c.get();
    return nullptr;
}

bool TPluginEditorWindow::createIn(void* parent, EditorSize announced) {
    parent_ = parent;
    created_ = true;
    const int s = resolveEditorScale(hostScale_, backend_->systemScale(parent));
    if (s != scale_) applyScale(s);
    if (!backend_->create(parent, clientWidth(), clientHeight(), this)) return false;
    if (const Component* timer = component("Timer2");
        timer && timer->desc.handlers.count("Timer") && timer->desc.interval > 0)
        backend_->startTimer(timer->desc.interval);
    // Asked after creating, so that the backend answers on its own
    // connection instead of opening another.
    if (announced.width <= 0 || announced.height <= 0)
        announced = editorSizeAt(resolveEditorScale(hostScale_, backend_->systemScale(nullptr)));
    if ((announced.width != clientWidth() || announced.height != clientHeight()) && sizeHandler_)
        sizeHandler_(clientWidth(), clientHeight());
    return true;
}

void TPluginEditorWindow::setHostScale(double factor) {
    hostScale_ = factor;
    if (created_) rescale();
}

void TPluginEditorWindow::setSizeHandler(std::function<void(int, int)> handler) {
    sizeHandler_ = std::move(handler);
}

void TPluginEditorWindow::systemScaleChanged() {
    if (created_) rescale();
}

void TPluginEditorWindow::rescale() {
    const int s = resolveEditorScale(hostScale_, backend_->systemScale(parent_));
    if (s == scale_) return;
    applyScale(s);
    backend_->setBounds(0, 0, clientWidth(), clientHeight());
    if (sizeHandler_) sizeHandler_(clientWidth(), clientHeight());
}

// Every picture with content is drawn again at the new factor: the
// background enlarged, the sliders and the readout composed afresh.
void TPluginEditorWindow::applyScale(int s) {
    scale_ = s;
    for (auto& c : components_) {
        if (c->desc.kind != ComponentKind::Picture || c->picture.empty() || c->desc.name == "Backslider")
            continue;
        if (c->desc.image == "background") {
            const Canvas& picture = assets::background();
            c->picture.reset(picture.width() * s, picture.height() * s, kSilver);
            c->picture.copyEnlarged(picture, {0, 0, picture.width(), picture.height()}, 0, 0, s);
            continue;
        }
        c->picture.reset(0, 0, kSilver);
        if (const int index = sliderIndexOf(c->desc.name); index >= 0) SetControl(index);
    }
    if (const Component* strip = component("printout"); strip && strip->picture.empty())
        PrintLabels(label_, labelValue_);
    changed();
}

void TPluginEditorWindow::changed() {
    frameDirty_ = true;
    backend_->invalidate();
}

// ----------------------------------------------------------- the handlers

void TPluginEditorWindow::FormCreate() {
    PrintLabels("Halvorine : Pellowmark", "");
    drawnValues.fill(-1.0f);  // no parameter takes this value: SetAll draws every slider
    // Painting is double-buffered by construction: the window is composed
    // whole in frame_ and put on the screen in one step.
}

void TPluginEditorWindow::Timer2Timer() {
    if (refreshMirror_) refreshMirror_(paramValues);
    SetAll();
}

void TPluginEditorWindow::SetAll() {
    for (int i = 0; i < kSliders; ++i) {
        const float v = mirrored(i);
        if (v != drawnValues[static_cast<std::size_t>(i)]) SetControl(i);
        drawnValues[static_cast<std::size_t>(i)] = v;
    }
}

void TPluginEditorWindow::SetcontrolSelect(Component& sender, MouseButton button,
                                           ShiftState shift, int x) {
    if (dragging) return;
    const int index = sliderIndexOf(sender.desc.name);
    if (index >= 0) SetHSlider(index, x, button, shift);
}

void TPluginEditorWindow::SetHSlider(int index, int x, MouseButton button, ShiftState shift) {
    const int p = std::clamp(x - 10, 0, 80);
    if (button != MouseButton::Left) return;
    if (shift.control || shift.doubleClick) {
        ResetHSlider(index);
        return;
    }
    dragMode = shift.shift ? 1 : 0;
    dragging = true;
    beginGesture(index);
    if (dragMode == 0) {
        const float value = limit(F(p / 80.0));
        paramValues[index].store(value, std::memory_order_relaxed);
        plugin->setParameterAutomated(index, value);
        SetControl(index);
        SetLabel(index);
    } else {
        dragOrigin = mirrored(index);
    }
}

void TPluginEditorWindow::WheelHSlider(int index, int notches, bool fine) {
    if (index < 0 || index >= kSliders || notches == 0) return;
    if (!wheeling_ || gesture_ != index) {
        beginGesture(index);
        wheeling_ = true;
        wheelValue_ = mirrored(index);
    }
    wheelQuiet_ = 0;
    // Later notches step from what the earlier ones set, whatever the
    // mirror holds meanwhile (a host's echo may lag behind).
    const ParameterInfo& info = parameterInfo(index);
    float value;
    if (info.steps > 0) {
        const double unitsPerStep = (static_cast<double>(info.maximum) - info.minimum) / info.steps;
        value = limit(toNormalised(index, toUnits(index, wheelValue_) + notches * unitsPerStep));
    } else {
        // In steps of the grid; a value on the grid but for a float's
        // rounding counts as on it, so that notches land on the grid.
        const double perUnit = fine ? 1000.0 : 100.0;
        double k = static_cast<double>(wheelValue_) * perUnit;
        const double whole = std::floor(k + 0.5);
        if (std::fabs(k - whole) < 1e-3) k = whole;
        value = limit(F((k + notches) / perUnit));
    }
    wheelValue_ = value;
    userValue(index, value);
}

void TPluginEditorWindow::ResetHSlider(int index) {
    if (index < 0 || index >= kSliders) return;
    beginGesture(index);
    userValue(index, limit(parameterInfo(index).defaultValue));
    endGesture();
}

void TPluginEditorWindow::userValue(int index, float value) {
    paramValues[index].store(value, std::memory_order_relaxed);
    if (plugin) plugin->setParameterAutomated(index, value);
    SetControl(index);
    SetLabel(index);
}

void TPluginEditorWindow::MoveControl(Component& sender, int x) {
    const int index = sliderIndexOf(sender.desc.name);
    if (index >= 0) MoveHSlider(index, x);
}

void TPluginEditorWindow::MoveHSlider(int index, int x) {
    if (!dragging) {
        if (refreshMirror_) refreshMirror_(paramValues);  // the readout shows the live value
        SetLabel(index);
        return;
    }
    const int p = x - 10;
    float value;
    if (dragMode == 0)
        value = limit(F(std::clamp(p, 0, 80) / 80.0));
    else
        value = limit(F(dragOrigin + p / 1000.0));
    paramValues[index].store(value, std::memory_order_relaxed);
    plugin->setParameterAutomated(index, value);
    SetControl(index);
    SetLabel(index);
}

void TPluginEditorWindow::MouseUp(Component&) {
    dragging = false;
    endGesture();
    SetAll();
}

void TPluginEditorWindow::SetControl(int index) {
    if (index < 0 || index >= kSliders) return;
    if (Component* picture = component(kSliderOfParameter[index])) DrawHSlider(*picture, index);
}

void TPluginEditorWindow::DrawHSlider(Component& picture, int index) {
    Component* buffer = component("Backslider");
    const Component* bar = component("HBar");
    const Component* knob = component("ISliderPos");
    if (!buffer || !bar || !knob || !bar->images || !knob->images) return;
    const int x = dsp::roundDown(F(static_cast<double>(mirrored(index)) * 80.0 + 5.0));
    Clearscreen(*buffer, kBufferColour);
    bar->images->drawOn(buffer->picture, 0, 0);
    knob->images->drawOn(buffer->picture, x, 2);
    if (picture.picture.empty())
        picture.picture.reset(picture.bounds.width * scale_, picture.bounds.height * scale_, kSilver);
    picture.picture.copyEnlarged(buffer->picture, {0, 0, 100, 13}, 0, 0, scale_);
    ++sliderDraws_;
    changed();
}

void TPluginEditorWindow::Clearscreen(Component& picture, Pixel colour) {
    if (picture.picture.empty())
        picture.picture.reset(picture.bounds.width, picture.bounds.height, colour);
    else
        picture.picture.fill(colour);
}

float TPluginEditorWindow::limit(float value) {
    if (value > 1.0f) return 1.0f;
    if (!(value >= 0.0f)) return 0.0f;
    return value;
}

// ----------------------------------------------------------- the readout

void TPluginEditorWindow::SetLabel(int index) {
    switch (index) {
        case 0: PrintLabels("Mod Start Freq", FilterStr(mirrored(0))); break;
        case 1: PrintLabels("Mod End Freq", FilterStr(mirrored(1))); break;
        case 2: PrintLabels("Mod Q", FPer(2)); break;
        case 3: PrintLabels("Carr Start Freq", FilterStr(mirrored(3))); break;
        case 4: PrintLabels("Carr End Freq", FilterStr(mirrored(4))); break;
        case 5: PrintLabels(" Carr Q", FPer(5)); break;
        case 6: PrintLabels("Shift ", bandCountText(mirrored(6))); break;
        case 7: PrintLabels("Mix", WetDryStr(7)); break;
        case 8: PrintLabels("Ring Boost", dBStr(8, 40.0f, 20.0f)); break;
        default: break;  // no readout
    }
}

void TPluginEditorWindow::PrintLabels(const std::string& label, const std::string& value) {
    Component* strip = component("printout");
    const Component* images = component("Iprintout");
    if (!strip || !images || !images->images) return;
    label_ = label;
    labelValue_ = value;
    if (strip->picture.empty())
        strip->picture.reset(strip->bounds.width * scale_, strip->bounds.height * scale_, kSilver);
    images->images->drawOn(strip->picture, 0, 0, scale_);
    // The text is rendered at the factor's size, not enlarged: sharp at 2 and 3.
    backend_->text().drawText(strip->picture, 8 * scale_, 3 * scale_, label + " :: " + value, "Arial",
                              8 * scale_, kTextColour);
    changed();
}

std::string TPluginEditorWindow::FilterStr(float value) const { return frequencyText(value); }
std::string TPluginEditorWindow::FPer(int index) const { return percentText(mirrored(index)); }
std::string TPluginEditorWindow::dBStr(int index, float scale, float offset) const {
    return levelText(mirrored(index), scale, offset);
}
std::string TPluginEditorWindow::FloatStr(float number, float stepsPerUnit) const {
    return steppedText(number, stepsPerUnit);
}
std::string TPluginEditorWindow::WetDryStr(int index) const { return mixText(mirrored(index)); }

// ----------------------------------------------------------- window events

TPluginEditorWindow::Component* TPluginEditorWindow::hit(int x, int y) {
    for (auto it = components_.rbegin(); it != components_.rend(); ++it) {
        Component& c = **it;
        if (c.visible && (c.onMouseDown || c.onMouseMove || c.onMouseUp) && contains(c.bounds, x, y))
            return &c;
    }
    return nullptr;
}

int TPluginEditorWindow::unscaled(int v) const {
    return v >= 0 ? v / scale_ : -((-v + scale_ - 1) / scale_);  // rounded down, also below 0
}

// Only the left button drags: its press picks the slider that gets every
// move and the release until it is let go. Other buttons' presses and
// releases go to the slider under the pointer (where the handlers ignore
// them) and neither start nor end a drag. Positions come in window pixels
// at the factor and are mapped back to the layout's.
void TPluginEditorWindow::mouseDown(int px, int py, MouseButton button, ShiftState state) {
    const int x = unscaled(px), y = unscaled(py);
    if (wheeling_) endGesture();  // a press ends a burst of wheel notches
    Component* target = pressed_ ? pressed_ : hit(x, y);
    if (!target) return;
    if (button == MouseButton::Left) pressed_ = target;
    if (target->onMouseDown) target->onMouseDown(*target, button, state, x - target->bounds.left);
}

// The wheel acts on the slider under the pointer, not while the left
// button drags one.
bool TPluginEditorWindow::mouseWheel(int px, int py, int notches, bool shift) {
    Component* target = hit(unscaled(px), unscaled(py));
    const int index = target ? sliderIndexOf(target->desc.name) : -1;
    if (index < 0) return false;
    if (!dragging) WheelHSlider(index, notches, shift);
    return true;
}

void TPluginEditorWindow::mouseMove(int px, int py) {
    const int x = unscaled(px), y = unscaled(py);
    Component* target = pressed_ ? pressed_ : hit(x, y);
    if (target && target->onMouseMove) target->onMouseMove(*target, x - target->bounds.left);
}

void TPluginEditorWindow::mouseUp(int px, int py, MouseButton button) {
    const int x = unscaled(px), y = unscaled(py);
    if (button != MouseButton::Left && pressed_) return;  // the left drag goes on
    Component* target = pressed_ ? pressed_ : hit(x, y);
    pressed_ = nullptr;
    if (target && target->onMouseUp) target->onMouseUp(*target);
}

void TPluginEditorWindow::timerTick() {
    if (wheeling_ && ++wheelQuiet_ >= kWheelQuietTicks) endGesture();
    if (const Component* timer = component("Timer2");
        timer && timer->desc.handlers.count("Timer") && timer->desc.handlers.at("Timer") == "Timer2Timer")
        Timer2Timer();
}

const Canvas& TPluginEditorWindow::frame() {
    if (!frameDirty_) return frame_;
    const Pixel formColour = form_.desc.colour.value_or(kSilver);
    frame_.reset(clientWidth(), clientHeight(), formColour);
    for (const auto& c : components_) {
        if (!c->visible) continue;
        const Component* parent = c->desc.parent.empty() ? nullptr : component(c->desc.parent);
        if (parent && !parent->visible) continue;
        const int left = c->bounds.left * scale_, top = c->bounds.top * scale_;
        if (c->desc.kind == ComponentKind::Panel) {
            frame_.fillRect({left, top, c->bounds.width * scale_, c->bounds.height * scale_},
                            c->desc.colour.value_or(formColour));
        } else if (c->desc.kind == ComponentKind::Picture && !c->picture.empty()) {
            if (c->desc.transparent)
                frame_.drawTransparent(c->picture, left, top);
            else
                frame_.copyRect(c->picture, {0, 0, c->picture.width(), c->picture.height()}, left, top);
        }
    }
    frameDirty_ = false;
    return frame_;
}

}  // namespace halvorine::editor
