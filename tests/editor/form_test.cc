#include <gtest/gtest.h>

#include <cmath>

#include "FakeSynth.h"
#include "GrEditor.h"
#include "Headless.h"
#include "Unit1.h"

namespace orvo {
namespace {

using test::Automation;
using test::FakeSynth;
using Node = HeadlessPlatform::Node;

struct FormFixture : ::testing::Test {
    HeadlessPlatform ui;
    FakeSynth synth;
    EffectLink link{&synth};
    TForm1 form{ui, reinterpret_cast<void*>(0x1234)};
    void SetUp() override { form.Synth = &link; }
    int slider(const std::unique_ptr<TTrackBar>& t) { return HeadlessPlatform::node(t->widget())->value; }
    int radio(const std::unique_ptr<TRadioGroup>& r) { return HeadlessPlatform::node(r->widget())->value; }
};

TEST_F(FormFixture, StartsFromTheLayoutsInitialStates) {
    EXPECT_EQ(form.TrackBar3->getPosition(), 45);
    EXPECT_EQ(form.TrackBar4->getPosition(), 45);
    EXPECT_EQ(form.TrackBar5->getPosition(), 25);
    EXPECT_EQ(form.TrackBar6->getPosition(), 45);
    EXPECT_EQ(form.Tsumami4->getPosition(), 0);
    for (auto* k : {&form.Tsumami1, &form.Tsumami2, &form.Tsumami3, &form.Tsumami5})
        EXPECT_EQ((*k)->getPosition(), 50);
    for (auto* r : {&form.RadioGroup1, &form.RadioGroup2, &form.RadioGroup3}) EXPECT_EQ((*r)->getItemIndex(), 0);
    EXPECT_EQ(ui.timerInterval, 100);
    // Building the form neither read nor wrote the synthesizer.
    EXPECT_EQ(synth.reads, 0);
    EXPECT_TRUE(synth.automated.empty());
    // The cache matches what the controls stand for: a first tick with the
    // synthesizer at its defaults moves nothing.
    ui.tick();
    EXPECT_TRUE(synth.automated.empty());
    EXPECT_EQ(form.TrackBar3->getPosition(), 45);
}

TEST_F(FormFixture, LaysOutControlsInKeyboardOrder) {
    auto* g1 = HeadlessPlatform::node(form.GroupBox1);
    EXPECT_EQ(g1->text, "Orvo Swich");
    EXPECT_EQ(g1->box, (Box{0, 0, 465, 281}));
    EXPECT_EQ(HeadlessPlatform::node(form.widget())->hostWindow, reinterpret_cast<void*>(0x1234));
    // Within GroupBox1: Filter, Env, the about text, OSC.
    auto* g3 = HeadlessPlatform::node(form.GroupBox3);
    auto* g4 = HeadlessPlatform::node(form.GroupBox4);
    auto* memo = HeadlessPlatform::node(form.Memo1);
    auto* g7 = HeadlessPlatform::node(form.GroupBox7);
    EXPECT_LT(g3, g4);  // nodes are allocated in creation order
    EXPECT_EQ(g3->text, "Filter");
    EXPECT_EQ(g4->text, "Env");
    EXPECT_EQ(g7->text, "OSC");
    EXPECT_EQ(memo->items.size(), 4u);
    EXPECT_EQ(memo->items[0], "Orvo Switch Ver1.11");
    EXPECT_EQ(memo->items[1], "Switch Table Synth VST");
    EXPECT_EQ(memo->items[2], "");
    auto* rg1 = HeadlessPlatform::node(form.RadioGroup1->widget());
    EXPECT_EQ(rg1->parent, g3);
    EXPECT_EQ(rg1->items, (std::vector<std::string>{"LowPass", "BandPass", "HiPass"}));
    EXPECT_EQ(HeadlessPlatform::node(form.Tsumami1->widget())->box, (Box{208, 80, 33, 33}));
    EXPECT_EQ(HeadlessPlatform::node(form.TrackBar6->widget())->parent, g4);
}

TEST_F(FormFixture, HostAutomationIsShownAtControlResolutionAndNotEchoed) {
    synth.values[kParamAttack] = 0.123f;
    ui.tick();
    EXPECT_EQ(form.TrackBar3->getPosition(), 44);
    EXPECT_EQ(slider(form.TrackBar3), 44);
    EXPECT_FLOAT_EQ(form.cached(kParamAttack), 0.12f);
    EXPECT_FLOAT_EQ(synth.values[kParamAttack], 0.123f);
    EXPECT_TRUE(synth.automated.empty());
}

TEST_F(FormFixture, RadioValuesRoundHalfToEven) {
    synth.values[kParamType] = 0.25f;
    ui.tick();
    EXPECT_EQ(form.RadioGroup1->getItemIndex(), 0);
    synth.values[kParamType] = 0.75f;
    synth.values[kParamWave1] = 0.5f;
    synth.values[kParamWave2] = 1.0f;
    ui.tick();
    EXPECT_EQ(form.RadioGroup1->getItemIndex(), 2);
    EXPECT_EQ(form.RadioGroup2->getItemIndex(), 2);
    EXPECT_EQ(radio(form.RadioGroup3), 3);
    EXPECT_TRUE(synth.automated.empty());
}

TEST_F(FormFixture, UserChangesAreSentAsAutomation) {
    ui.userClick(form.RadioGroup1->widget(), 1);
    ui.userClick(form.RadioGroup3->widget(), 3);
    ui.userSlide(form.TrackBar5->widget(), 0);
    ui.userSlide(form.TrackBar5->widget(), 50);
    ui.userSlide(form.TrackBar5->widget(), 49);
    EXPECT_EQ(synth.automated, (std::vector<Automation>{
                                   {kParamType, 0.5f}, {kParamWave2, 1.0f}, {kParamSustain, 1.0f}, {kParamSustain, 0.0f}, {kParamSustain, 0.02f}}));
    EXPECT_FLOAT_EQ(synth.values[kParamType], 0.5f);
    // Reading the same values back on the next tick sends nothing more.
    ui.tick();
    EXPECT_EQ(synth.automated.size(), 5u);
    // Clicking the item that is already selected is no change.
    ui.userClick(form.RadioGroup1->widget(), 1);
    EXPECT_EQ(synth.automated.size(), 5u);
}

TEST_F(FormFixture, KnobDragSendsEveryNewPosition) {
    Widget k = form.Tsumami3->widget();
    ui.press(k);
    ui.moveCursor({ui.cursor.x, ui.cursor.y - 20});  // +10
    ui.moveCursor({ui.cursor.x, ui.cursor.y});        // same position: nothing new to send
    ui.release();
    EXPECT_EQ(synth.automated, (std::vector<Automation>{{kParamCutOff, 0.6f}}));
}

TEST_F(FormFixture, DraggedKnobIgnoresAutomationUntilTheNextMove) {
    ui.press(form.Tsumami2->widget());
    synth.values[kParamMix] = 0.9f;
    ui.tick();
    ui.tick();
    EXPECT_EQ(form.Tsumami2->getPosition(), 50);
    EXPECT_TRUE(synth.automated.empty());
    // The next movement sends the knob's own value again.
    ui.moveCursor(ui.cursor);
    EXPECT_EQ(synth.automated, (std::vector<Automation>{{kParamMix, 0.5f}}));
    ui.release();
    synth.values[kParamMix] = 0.3f;
    ui.tick();
    EXPECT_EQ(form.Tsumami2->getPosition(), 30);
    EXPECT_EQ(synth.automated.size(), 1u);
}

TEST_F(FormFixture, IdleEditorSendsNothingAndMovesNothing) {
    synth.values = {0.37f, 0.0f, 1.0f, 0.99f, 0.123f, 0.456f, 1.0f, 0.001f, 1.0f, 0.6667f, 0.0f, 1.0f};
    ui.tick();
    int knobPaints = HeadlessPlatform::node(form.Tsumami3->widget())->invalidations;
    for (int i = 0; i < 50; ++i) ui.tick();
    EXPECT_TRUE(synth.automated.empty());
    EXPECT_EQ(HeadlessPlatform::node(form.Tsumami3->widget())->invalidations, knobPaints);
    EXPECT_EQ(synth.reads, 51 * 12);
}

TEST_F(FormFixture, OutOfRangeValuesClampAndSendTheClampedValue) {
    synth.values[kParamSustain] = 1.5f;  // slider clamps to the top
    synth.values[kParamWave1] = -2.0f;  // radio group clamps to "no item": not a click
    ui.tick();
    EXPECT_EQ(form.TrackBar5->getPosition(), 0);
    EXPECT_EQ(form.RadioGroup2->getItemIndex(), -1);
    EXPECT_EQ(synth.automated, (std::vector<Automation>{{kParamSustain, 1.0f}}));
}

TEST_F(FormFixture, FormWithoutSynthesizerDoesNothing) {
    form.Synth = nullptr;
    ui.tick();
    ui.userClick(form.RadioGroup1->widget(), 2);
    EXPECT_EQ(synth.reads, 0);
    EXPECT_TRUE(synth.automated.empty());
}

}  // namespace
}  // namespace orvo

namespace orvo {
namespace {

// A link that records the order of what the form sends, gestures included.
struct GestureLink : SynthLink {
    std::vector<std::string> log;
    float getParameter(int index) override { return kParams[index].defaultValue; }
    void setParameterAutomated(int index, float value) override {
        log.push_back("set " + std::to_string(index) + " " + std::to_string(value).substr(0, 4));
    }
    void beginEdit(int index) override { log.push_back("begin " + std::to_string(index)); }
    void endEdit(int index) override { log.push_back("end " + std::to_string(index)); }
};

TEST(FormGestures, KnobDragIsOneGestureAndEveryOtherEditItsOwn) {
    HeadlessPlatform ui;
    GestureLink link;
    TForm1 form{ui, reinterpret_cast<void*>(0x1234)};
    form.Synth = &link;

    ui.press(form.Tsumami3->widget());
    ui.moveCursor({ui.cursor.x, ui.cursor.y - 20});
    ui.moveCursor({ui.cursor.x, ui.cursor.y - 2});
    ui.release();
    ui.userSlide(form.TrackBar5->widget(), 0);
    ui.userClick(form.RadioGroup2->widget(), 2);
    // A drag that loses the mouse still closes its gesture; one that moves
    // nothing opens and closes one without a value.
    ui.press(form.Tsumami1->widget());
    ui.moveCursor({ui.cursor.x + 10, ui.cursor.y});
    ui.stealCapture();
    ui.press(form.Tsumami2->widget());
    ui.release();
    EXPECT_EQ(link.log, (std::vector<std::string>{
                            "begin 4", "set 4 0.60", "set 4 0.61", "end 4",
                            "begin 2", "set 2 1.00", "end 2",
                            "begin 8", "set 8 0.66", "end 8",
                            "begin 10", "set 10 0.55", "end 10",
                            "begin 11", "end 11"}));
}

}  // namespace
}  // namespace orvo

namespace orvo {
namespace {

// Every box is the 1x one with its edges scaled once; the font and the
// platform's own geometry get the same scale.
TEST(FormAtScale, LaysOutTheDesignScaledOnce) {
    HeadlessPlatform ui;
    TForm1 form{ui, nullptr, 2.0};
    auto box = [](Widget w) { return HeadlessPlatform::node(w)->box; };
    EXPECT_EQ(form.ClientWidth(), 930);
    EXPECT_EQ(form.ClientHeight(), 562);
    EXPECT_EQ(box(form.widget()), (Box{0, 0, 930, 562}));
    EXPECT_EQ(HeadlessPlatform::node(form.widget())->scale, Scale(2.0));
    EXPECT_EQ(HeadlessPlatform::node(form.widget())->fontPixels, 24);
    EXPECT_EQ(box(form.Tsumami1->widget()), (Box{416, 160, 66, 66}));
    EXPECT_EQ(box(form.TrackBar6->widget()), (Box{208, 32, 66, 226}));
    EXPECT_EQ(box(form.Image1), (Box{496, 336, 220, 50}));

    // A fractional scale rounds edges, so neighbours still meet: Env's
    // sliders at 8 + 32k, 33 wide, overlap by one pixel at 1x and keep doing so.
    HeadlessPlatform ui2;
    TForm1 odd{ui2, nullptr, 700.0 / 465.0};
    EXPECT_EQ(odd.ClientWidth(), 700);
    EXPECT_EQ(odd.ClientHeight(), 423);
    const Box a = box(odd.TrackBar3->widget()), b = box(odd.TrackBar4->widget());
    EXPECT_EQ(a.left + a.width, Scale(700.0 / 465.0).px(41));
    EXPECT_EQ(b.left, Scale(700.0 / 465.0).px(40));
}

TEST(FormAtScale, ScalesOutsideOneToThreeAreClamped) {
    EXPECT_EQ(TForm1::widthAt(0.5), 465);
    EXPECT_EQ(TForm1::widthAt(-1.0), 465);
    EXPECT_EQ(TForm1::widthAt(std::nan("")), 465);
    EXPECT_EQ(TForm1::widthAt(7.0), 1395);
    EXPECT_EQ(TForm1::heightAt(1.25), 351);
    EXPECT_EQ(Scale(1.5).line(), 2);
    EXPECT_EQ(Scale(1.25).line(), 1);
}

}  // namespace
}  // namespace orvo
