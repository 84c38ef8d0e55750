#include "Unit1.h"

#include <algorithm>
#include <climits>

#include "Logo.h"

namespace orvo {

// --- TTrackBar ----------------------------------------------------------------

TTrackBar::TTrackBar(Platform& platform, Widget parent, Box box, int initial, Scale scale)
    : platform(platform), position(std::clamp(initial, 0, style.max)) {
    style.thumbLength = scale.px(style.thumbLength);
    handle = platform.createSlider(parent, box, style, position, this);
}

void TTrackBar::setPosition(int newPosition) {
    newPosition = std::clamp(newPosition, 0, style.max);
    if (newPosition == position) return;
    position = newPosition;
    platform.setSliderPosition(handle, position);
    if (OnChange) OnChange();
}

// --- TRadioGroup --------------------------------------------------------------

TRadioGroup::TRadioGroup(Platform& platform, Widget parent, Box box, std::string_view caption,
                         std::span<const std::string_view> items, int initial)
    : platform(platform), itemCount(static_cast<int>(items.size())), itemIndex(std::clamp(initial, -1, itemCount - 1)) {
    handle = platform.createRadioGroup(parent, box, caption, items, itemIndex, this);
}

void TRadioGroup::setItemIndex(int newIndex) {
    newIndex = std::clamp(newIndex, -1, itemCount - 1);
    if (newIndex == itemIndex) return;
    itemIndex = newIndex;
    platform.setRadioSelection(handle, itemIndex);
    if (itemIndex >= 0 && OnClick) OnClick();
}

// --- conversions --------------------------------------------------------------

namespace {
int clampToInt(long long v) { return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)); }
}  // namespace

float TForm1::Binding::controlValue() const {
    switch (kind) {
        case Slider: return static_cast<float>((50.0 - slider->getPosition()) / 50.0);
        case Knob: return static_cast<float>(knob->getPosition() / 100.0);
        case Radio:
            return scale == 2 ? static_cast<float>(radio->getItemIndex() * 0.5)
                              : static_cast<float>(radio->getItemIndex() / 3.0);
    }
    return 0.0f;
}

int TForm1::Binding::stateFor(float v) const {
    const int r = nearestInt(static_cast<long double>(v) * scale);
    return kind == Slider ? clampToInt(50LL - r) : r;
}

int TForm1::Binding::currentState() const {
    switch (kind) {
        case Slider: return slider->getPosition();
        case Knob: return knob->getPosition();
        case Radio: return radio->getItemIndex();
    }
    return 0;
}

float TForm1::Binding::gridValue(float v) const {
    return static_cast<float>(nearestInt(static_cast<long double>(v) * scale) / static_cast<double>(scale));
}

// --- TForm1 -------------------------------------------------------------------

TForm1::TForm1(Platform& platform, void* parentWindow, double scale) : platform(platform), scale(scale) {
    buildControls(parentWindow);
    attachHandlers();
    FormCreate();
    platform.startTimer(form, kTimerInterval);
}

TForm1::~TForm1() {
    // The window goes first, while the controls it reports to still exist.
    platform.destroyForm(form);
}

void TForm1::buildControls(void* parentWindow) {
    static constexpr std::string_view kWaves[] = {"Sin", "Saw", "Sqr", "Tri"};
    static constexpr std::string_view kTypes[] = {"LowPass", "BandPass", "HiPass"};
    static constexpr std::string_view kAbout[] = {"Orvo Switch Ver" ORVO_ABOUT_VERSION, "Switch Table Synth VST", "",
                                                  "https://orvo.example.com/"};
    Platform& p = platform;
    const Scale sc = scale;
    // The design's 1x table; every box is scaled here and nowhere else.
    auto at = [sc](Box b) { return sc.box(b); };
    FontStyle font;
    font.pixelHeight = sc.px(font.pixelHeight);
    form = p.createForm(parentWindow, ClientWidth(), ClientHeight(), font, sc, this);

    // Created in keyboard order: Filter, Env, about text, OSC.
    GroupBox1 = p.createGroup(form, at({0, 0, 465, 281}), "Orvo Swich");

    GroupBox3 = p.createGroup(GroupBox1, at({8, 168, 233, 105}), "Filter");
    RadioGroup1 = std::make_unique<TRadioGroup>(p, GroupBox3, at({8, 16, 97, 81}), "Type", kTypes, 0);
    Tsumami3 = std::make_unique<TTsumami>(p, GroupBox3, at({112, 40, 33, 33}), sc);
    Tsumami4 = std::make_unique<TTsumami>(p, GroupBox3, at({152, 40, 33, 33}), sc);
    Tsumami4->setPosition(0);
    Tsumami5 = std::make_unique<TTsumami>(p, GroupBox3, at({192, 40, 33, 33}), sc);
    p.createLabel(GroupBox3, at({112, 80, 34, 12}), "CutOff", true);
    p.createLabel(GroupBox3, at({160, 80, 8, 12}), "Q", true);
    p.createLabel(GroupBox3, at({200, 80, 19, 12}), "Env", true);

    GroupBox4 = p.createGroup(GroupBox1, at({312, 16, 145, 145}), "Env");
    TrackBar3 = std::make_unique<TTrackBar>(p, GroupBox4, at({8, 16, 33, 113}), 45, sc);
    TrackBar4 = std::make_unique<TTrackBar>(p, GroupBox4, at({40, 16, 33, 113}), 45, sc);
    TrackBar5 = std::make_unique<TTrackBar>(p, GroupBox4, at({72, 16, 33, 113}), 25, sc);
    TrackBar6 = std::make_unique<TTrackBar>(p, GroupBox4, at({104, 16, 33, 113}), 45, sc);
    p.createLabel(GroupBox4, at({16, 128, 8, 12}), "A", false);
    p.createLabel(GroupBox4, at({48, 128, 8, 12}), "D", false);
    p.createLabel(GroupBox4, at({80, 128, 7, 12}), "S", false);
    p.createLabel(GroupBox4, at({112, 128, 8, 12}), "R", false);

    Memo1 = p.createMemo(GroupBox1, at({248, 200, 209, 73}), kAbout);

    GroupBox7 = p.createGroup(GroupBox1, at({8, 16, 297, 145}), "OSC");
    RadioGroup2 = std::make_unique<TRadioGroup>(p, GroupBox7, at({8, 16, 89, 121}), "Wave1", kWaves, 0);
    RadioGroup3 = std::make_unique<TRadioGroup>(p, GroupBox7, at({104, 16, 89, 121}), "Wave2", kWaves, 0);
    Tsumami1 = std::make_unique<TTsumami>(p, GroupBox7, at({208, 80, 33, 33}), sc);
    Tsumami2 = std::make_unique<TTsumami>(p, GroupBox7, at({256, 80, 33, 33}), sc);
    p.createLabel(GroupBox7, at({196, 120, 53, 12}), "Drag Time", false);
    p.createLabel(GroupBox7, at({260, 120, 18, 12}), "Mix", false);

    const Box logo = at({248, 168, kLogoWidth, kLogoHeight});
    Image1 = p.createPicture(GroupBox1, logo, logoImage(logo.width, logo.height, logoPixels));

    using B = Binding;
    bindings = {{
        {B::Slider, kParamAttack, 50, TrackBar3.get()},
        {B::Slider, kParamDecay, 50, TrackBar4.get()},
        {B::Slider, kParamSustain, 50, TrackBar5.get()},
        {B::Slider, kParamRelease, 50, TrackBar6.get()},
        {B::Radio, kParamType, 2, nullptr, nullptr, RadioGroup1.get()},
        {B::Knob, kParamCutOff, 100, nullptr, Tsumami3.get()},
        {B::Knob, kParamQ, 100, nullptr, Tsumami4.get()},
        {B::Knob, kParamEnv, 100, nullptr, Tsumami5.get()},
        {B::Radio, kParamWave1, 3, nullptr, nullptr, RadioGroup2.get()},
        {B::Radio, kParamWave2, 3, nullptr, nullptr, RadioGroup3.get()},
        {B::Knob, kParamDrag, 100, nullptr, Tsumami1.get()},
        {B::Knob, kParamMix, 100, nullptr, Tsumami2.get()},
    }};
}

void TForm1::attachHandlers() {
    for (const Binding& b : bindings) {
        const Binding* bp = &b;
        switch (b.kind) {
            case Binding::Slider: b.slider->OnChange = [this, bp] { changed(*bp); }; break;
            case Binding::Knob:
                b.knob->OnChange = [this, bp](TTsumami&) { changed(*bp); };
                b.knob->OnDrag = [this, bp](TTsumami&, bool starts) {
                    if (!Synth) return;
                    if (starts)
                        Synth->beginEdit(bp->param);
                    else
                        Synth->endEdit(bp->param);
                };
                break;
            case Binding::Radio: b.radio->OnClick = [this, bp] { changed(*bp); }; break;
        }
    }
}

void TForm1::FormCreate() {
    for (int i = 0; i < kNumParams; ++i) cacheSlot(i) = kParams[i].defaultValue;
}

float& TForm1::cacheSlot(int index) {
    switch (index) {
        case kParamAttack: return ParamCache.A;
        case kParamDecay: return ParamCache.D;
        case kParamSustain: return ParamCache.S;
        case kParamRelease: return ParamCache.R;
        case kParamCutOff: return ParamCache.CutOff;
        case kParamQ: return ParamCache.Q;
        case kParamType: return ParamCache.Type;
        case kParamEnv: return ParamCache.Env;
        case kParamWave1: return ParamCache.Wave1;
        case kParamWave2: return ParamCache.Wave2;
        case kParamDrag: return ParamCache.Drag;
        default: return ParamCache.Mix;
    }
}

float TForm1::cached(int index) const { return const_cast<TForm1*>(this)->cacheSlot(index); }

const TForm1::Binding* TForm1::bindingFor(int index) const {
    for (const Binding& b : bindings)
        if (b.param == index) return &b;
    return nullptr;
}

void TForm1::changed(const Binding& b) {
    const float x = b.controlValue();
    float& slot = cacheSlot(b.param);
    // A control moved by FormPaint lands on the value the cache already
    // holds and stops here: outside changes are shown, never echoed back.
    if (x == slot) return;
    slot = x;
    if (!Synth) return;
    // A dragged knob's gesture spans the drag (OnDrag); every other change
    // is a gesture of its own.
    const bool inDrag = b.kind == Binding::Knob && b.knob->Dragging;
    if (!inDrag) Synth->beginEdit(b.param);
    Synth->setParameterAutomated(b.param, x);
    if (!inDrag) Synth->endEdit(b.param);
}

void TForm1::Timer1Timer() {
    for (int i = 0; i < kNumParams; ++i) RefreshParameter(i);
    repaint();
}

void TForm1::RefreshParameter(int index) {
    const Binding* b = bindingFor(index);
    if (!b || !Synth) return;
    const float v = Synth->getParameter(index);
    // Compared with the control, not the cache: the cache may already hold
    // the value while a dragged knob has not been moved to it.
    if (b->currentState() == b->stateFor(v)) return;
    cacheSlot(index) = b->gridValue(v);
}

void TForm1::FormPaint() {
    for (const Binding& b : bindings) {
        const int n = b.stateFor(cacheSlot(b.param));
        if (b.currentState() == n) continue;
        switch (b.kind) {
            case Binding::Slider: b.slider->setPosition(n); break;
            case Binding::Radio: b.radio->setItemIndex(n); break;
            case Binding::Knob:
                // The user's hand wins over automation until the drag ends.
                if (!b.knob->Dragging) b.knob->setPosition(n);
                break;
        }
    }
}

void TForm1::show() { platform.showForm(form); }

void TForm1::repaint() { platform.repaintNow(form); }

double TForm1::scaleToFit(double width, double height) {
    const double s = std::min(width / kWidth, height / kHeight);
    // Rounding may add a pixel: then one step smaller.
    Scale fit(s);
    if (widthAt(fit.factor()) > width || heightAt(fit.factor()) > height) fit = Scale(s - 1.0 / kWidth);
    return fit.factor();
}

}  // namespace orvo
