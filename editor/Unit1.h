// The editor form: twelve controls for the twelve parameters, an about text
// and the logo, on a 465 x 281 panel at 1x and that panel scaled by s
// (1..3) otherwise. It keeps no parameter state of its own
// beyond ParamCache, the last value it knows per parameter; user changes go
// out through the SynthLink, outside changes come in by polling.
//
// Thread: UI. Every handler runs from the platform's messages or timer.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "ParamTable.h"
#include "Platform.h"
#include "SynthLink.h"
#include "Tsumami.h"

namespace orvo {

// A vertical slider. Position 0 is at the top. The native control moves on
// its own under the mouse or keyboard; this object holds the position the
// form reasons about.
class TTrackBar : public ControlSink {
public:
    TTrackBar(Platform& platform, Widget parent, Box box, int initial, Scale scale = {});
    int getPosition() const { return position; }
    int getMax() const { return style.max; }
    // Clamps to 0..Max; notifies only when the position actually changes.
    void setPosition(int newPosition);
    std::function<void()> OnChange;
    Widget widget() const { return handle; }
    void userPosition(int p) override { setPosition(p); }

private:
    Platform& platform;
    SliderStyle style;
    Widget handle = nullptr;
    int position = 0;
};

// A one-column radio group; ItemIndex -1 means nothing is selected.
class TRadioGroup : public ControlSink {
public:
    TRadioGroup(Platform& platform, Widget parent, Box box, std::string_view caption,
                std::span<const std::string_view> items, int initial);
    int getItemIndex() const { return itemIndex; }
    int count() const { return itemCount; }
    // Clamps to -1..count-1; notifies when another item becomes selected,
    // not when the selection is cleared.
    void setItemIndex(int newIndex);
    std::function<void()> OnClick;
    Widget widget() const { return handle; }
    void userSelect(int item) override { setItemIndex(item); }

private:
    Platform& platform;
    Widget handle = nullptr;
    int itemCount = 0;
    int itemIndex = -1;
};

class TForm1 : public FormSink {
public:
    static constexpr int kWidth = 465;
    static constexpr int kHeight = 281;
    static constexpr int kTimerInterval = 100;

    // Builds the window and every control with its initial value inside
    // `parentWindow`, at `scale` (clamped to 1..3). Handlers are attached
    // only after the initial values are set, and `Synth` is still null:
    // nothing reaches the synthesizer during construction.
    TForm1(Platform& platform, void* parentWindow, double scale = 1.0);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    SynthLink* Synth = nullptr;

    void show();
    int ClientWidth() const { return scale.px(kWidth); }
    int ClientHeight() const { return scale.px(kHeight); }
    double scaleFactor() const { return scale.factor(); }
    // The form's size at scale `s`, before any form exists.
    static int widthAt(double s) { return Scale(s).px(kWidth); }
    static int heightAt(double s) { return Scale(s).px(kHeight); }
    // The largest scale whose form fits inside `width` x `height`, for hosts
    // that size the window and let the form follow.
    static double scaleToFit(double width, double height);
    // Invalidate and paint before returning (FormPaint runs).
    void repaint();
    Widget widget() const { return form; }

    // Handlers.
    void FormCreate();
    void Timer1Timer();
    void RefreshParameter(int index);
    void FormPaint();

    // The last value known for parameter `index` (0..11).
    float cached(int index) const;

    // FormSink
    void timerTick() override { Timer1Timer(); }
    void formPaint() override { FormPaint(); }
    void screenScaleChanged() override {
        if (OnScreenScaleChanged) OnScreenScaleChanged();
    }
    std::function<void()> OnScreenScaleChanged;

    // Controls, public as on a designed form so tests and layers can reach them.
    std::unique_ptr<TRadioGroup> RadioGroup1, RadioGroup2, RadioGroup3;
    std::unique_ptr<TTrackBar> TrackBar3, TrackBar4, TrackBar5, TrackBar6;
    std::unique_ptr<TTsumami> Tsumami1, Tsumami2, Tsumami3, Tsumami4, Tsumami5;
    Widget GroupBox1 = nullptr, GroupBox3 = nullptr, GroupBox4 = nullptr, GroupBox7 = nullptr;
    Widget Memo1 = nullptr, Image1 = nullptr;

private:
    // How a control stands for a parameter: its kind, the grid scale and
    // the conversions both ways.
    struct Binding {
        enum Kind { Slider, Knob, Radio } kind;
        int param;
        int scale;  // 50 slider, 100 knob, 2 or 3 radio
        TTrackBar* slider = nullptr;
        TTsumami* knob = nullptr;
        TRadioGroup* radio = nullptr;

        float controlValue() const;
        int stateFor(float v) const;
        int currentState() const;
        float gridValue(float v) const;
    };

    void buildControls(void* parentWindow);
    void attachHandlers();
    void changed(const Binding& b);
    float& cacheSlot(int index);
    const Binding* bindingFor(int index) const;

    Platform& platform;
    Scale scale;
    Widget form = nullptr;
    std::vector<std::uint32_t> logoPixels;  // the logo at this scale, while the form lives
    // Declared in the order of the synthesizer's program record.
    struct {
        float CutOff, Q, Type, A, D, S, R, Env, Wave1, Wave2, Drag, Mix;
    } ParamCache{};
    // FormPaint's order.
    std::array<Binding, kNumParams> bindings{};
};

}  // namespace orvo
