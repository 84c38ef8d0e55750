#include <gtest/gtest.h>

#include "FakeSynth.h"
#include "GrEditor.h"
#include "Headless.h"

namespace orvo {
namespace {

using test::FakeSynth;

void* window(int n) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1000 * n)); }

struct BridgeFixture : ::testing::Test {
    FakeSynth synth;
    HeadlessPlatform* ui = nullptr;
    GrEditor* editor = nullptr;
    void SetUp() override {
        auto platform = std::make_unique<HeadlessPlatform>();
        ui = platform.get();
        editor = new GrEditor(&synth, std::move(platform));
        synth.setEditor(editor);  // the effect owns and deletes it
    }
    // As the host sees it: through the dispatcher.
    ERect rect() {
        ERect* r = nullptr;
        EXPECT_EQ(synth.dispatcher(effEditGetRect, 0, 0, &r, 0.0f), 1);
        EXPECT_EQ(r, editor->getRect(&r) ? r : nullptr);  // the same, lasting address
        return r ? *r : ERect{-1, -1, -1, -1};
    }
    static bool is(const ERect& r, int top, int left, int bottom, int right) {
        return r.top == top && r.left == left && r.bottom == bottom && r.right == right;
    }
};

TEST_F(BridgeFixture, RectFollowsTheForm) {
    EXPECT_TRUE(synth.getEffectRecord()->flags & effFlagsHasEditor);
    EXPECT_TRUE(is(rect(), 0, 0, 0, 0));
    EXPECT_EQ(synth.dispatcher(effEditOpen, 0, 0, window(1), 0.0f), 1);
    EXPECT_TRUE(is(rect(), 0, 0, 281, 465));
    synth.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_TRUE(is(rect(), 0, 0, 0, 0));
}

// Without a front end's word the form takes the window system's scale; a
// content scale asked for later rebuilds the open form at once.
TEST_F(BridgeFixture, RectIsScaledByTheScreenOrTheFrontEnd) {
    ui->screen = 2.0;
    editor->open(window(1));
    EXPECT_TRUE(is(rect(), 0, 0, 562, 930));
    synth.values[kParamMix] = 0.8f;
    EXPECT_TRUE(editor->setContentScale(1.5f));
    EXPECT_TRUE(is(rect(), 0, 0, 422, 698));
    EXPECT_EQ(ui->liveForms(), 1);
    EXPECT_EQ(HeadlessPlatform::node(editor->getForm()->widget())->hostWindow, window(1));
    EXPECT_EQ(editor->getForm()->Tsumami2->getPosition(), 80);  // shown at once, not a poll later
    EXPECT_FALSE(editor->setContentScale(0.0f));
    editor->close();
    editor->open(window(2));
    EXPECT_TRUE(is(rect(), 0, 0, 422, 698));  // the front end's scale stays
}

// A monitor of another DPI: the form follows on the next idle and the host is
// asked for the new size; a front end's own scale is left alone.
TEST_F(BridgeFixture, FormFollowsTheScreensScaleUnlessAFrontEndSetOne) {
    editor->open(window(1));
    ui->screen = 1.5;
    editor->getForm()->screenScaleChanged();
    EXPECT_TRUE(is(rect(), 0, 0, 281, 465));  // not from inside the window's message
    synth.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    EXPECT_TRUE(is(rect(), 0, 0, 422, 698));
    EXPECT_EQ(synth.resized, (std::vector<std::array<int, 2>>{{698, 422}}));
    EXPECT_EQ(ui->liveForms(), 1);
    editor->setContentScale(1.0f);
    ui->screen = 2.0;
    editor->getForm()->screenScaleChanged();
    synth.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    EXPECT_TRUE(is(rect(), 0, 0, 281, 465));
    EXPECT_EQ(synth.resized.size(), 1u);
}

TEST_F(BridgeFixture, NestedOpensShareOneFormInTheFirstWindow) {
    editor->open(window(1));
    TForm1* first = editor->getForm();
    // The form edits this synthesizer.
    ASSERT_NE(first->Synth, nullptr);
    synth.values[3] = 0.77f;
    EXPECT_EQ(first->Synth->getParameter(3), 0.77f);
    editor->open(window(2));
    EXPECT_EQ(editor->getForm(), first);
    EXPECT_EQ(editor->getOpenCount(), 2);
    EXPECT_EQ(ui->liveForms(), 1);
    auto* formNode = HeadlessPlatform::node(first->widget());
    EXPECT_EQ(formNode->hostWindow, window(1));
    EXPECT_EQ(formNode->shows, 2);  // shown again, not moved
    editor->close();
    EXPECT_TRUE(is(rect(), 0, 0, 281, 465));
    EXPECT_EQ(ui->liveForms(), 1);
    editor->close();
    EXPECT_EQ(ui->liveForms(), 0);
    EXPECT_EQ(ui->liveWidgets(), 0);
    EXPECT_EQ(editor->getParentWindow(), nullptr);
    EXPECT_TRUE(is(rect(), 0, 0, 0, 0));
}

TEST_F(BridgeFixture, ReopenBuildsAFreshFormInTheNewWindow) {
    editor->open(window(1));
    editor->getForm()->Tsumami1->setPosition(80);
    editor->close();
    editor->open(window(2));
    EXPECT_EQ(HeadlessPlatform::node(editor->getForm()->widget())->hostWindow, window(2));
    EXPECT_EQ(editor->getForm()->Tsumami1->getPosition(), 50);
    EXPECT_EQ(ui->liveForms(), 1);
}

TEST_F(BridgeFixture, CloseWithoutOpenIsIgnored) {
    editor->close();
    editor->close();
    EXPECT_EQ(editor->getOpenCount(), 0);
    editor->open(window(1));
    EXPECT_NE(editor->getForm(), nullptr);
    EXPECT_EQ(ui->liveForms(), 1);
}

TEST_F(BridgeFixture, IdleAndTicksOfAQuietEditorSendNothing) {
    editor->open(window(1));
    for (int i = 0; i < 20; ++i) {
        synth.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
        ui->tick();
    }
    EXPECT_TRUE(synth.automated.empty());
    // A posted update repaints once, on the next idle.
    int paints = ui->paintsRun;
    editor->postUpdate();
    editor->idle();
    editor->idle();
    EXPECT_EQ(ui->paintsRun, paints + 1);
}

TEST_F(BridgeFixture, UserChangeReachesTheHostAsAutomate) {
    editor->open(window(1));
    ui->userClick(editor->getForm()->RadioGroup1->widget(), 1);
    ASSERT_EQ(synth.automated.size(), 1u);
    EXPECT_EQ(synth.automated[0].index, kParamType);
    EXPECT_EQ(synth.automated[0].value, 0.5f);
}

TEST(BridgeLifetime, DestroyingTheEffectWithTheEditorOpenRemovesTheForm) {
    auto platform = std::make_unique<HeadlessPlatform>();
    auto nodes = platform->allNodes();
    auto* synth = new FakeSynth;
    synth->setEditor(new GrEditor(synth, std::move(platform)));
    synth->dispatcher(effEditOpen, 0, 0, window(1), 0.0f);
    synth->dispatcher(effEditOpen, 0, 0, window(1), 0.0f);
    synth->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(HeadlessPlatform::liveForms(*nodes), 1);
    EXPECT_GT(HeadlessPlatform::liveWidgets(*nodes), 20);
    delete synth;  // effClose's path: the effect deletes its editor
    EXPECT_EQ(HeadlessPlatform::liveForms(*nodes), 0);
    EXPECT_EQ(HeadlessPlatform::liveWidgets(*nodes), 0);
}

}  // namespace
}  // namespace orvo
