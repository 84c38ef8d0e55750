#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "Headless.h"
#include "Tsumami.h"

namespace orvo {
namespace {

using Strokes = std::vector<std::string>;

struct KnobFixture : ::testing::Test {
    HeadlessPlatform ui;
    TTsumami knob{ui, nullptr, Box{0, 0, 33, 33}};
    int changes = 0;
    void SetUp() override {
        knob.OnChange = [this](TTsumami&) { ++changes; };
    }
    Strokes paintAt(int p) {
        knob.setPosition(p);
        RecordingCanvas c;
        knob.paint(c);
        return c.commands;
    }
    // Press at the current cursor, then move by (dx, dy) pixels.
    void drag(int dx, int dy) {
        Point start = ui.cursor;
        ui.press(knob.widget());
        ui.moveCursor({start.x + dx, start.y + dy});
    }
};

// The dial, both arcs, the three pointer strokes and the three tick marks.
Strokes expected(const char* shadowEnd, const char* highlightEnd, const char* blackEnd) {
    return {"pen Black",           "brush BtnFace",
            "ellipse 2 2 29 29",   "pen BtnHighlight",
            "arc 4 4 27 27 24 6 6 24", "pen BtnShadow",
            "arc 4 4 27 27 6 24 24 6", "pen BtnShadow",
            "move 16 16",          std::string("line ") + shadowEnd,
            "pen BtnHighlight",    "move 14 14",
            std::string("line ") + highlightEnd, "pen Black",
            "move 15 15",          std::string("line ") + blackEnd,
            "pen Black",           "move 24 26",
            "line 27 29",          "move 15 2",
            "line 16 0",           "move 7 26",
            "line 6 29"};
}

TEST_F(KnobFixture, DrawsTheWorkedExampleForEveryListedPosition) {
    EXPECT_EQ(paintAt(0), expected("6 28", "4 26", "5 26"));
    EXPECT_EQ(paintAt(25), expected("2 11", "0 9", "1 10"));
    EXPECT_EQ(paintAt(50), expected("16 0", "14 -2", "15 1"));
    EXPECT_EQ(paintAt(75), expected("30 11", "28 9", "29 10"));
    EXPECT_EQ(paintAt(100), expected("26 28", "24 26", "25 26"));
}

TEST_F(KnobFixture, PointerTableIsSymmetricAndUprightAtFifty) {
    EXPECT_EQ(knob.getPosition(), 50);
    EXPECT_NEAR(knob.pointerX(50), 0.0f, 1e-7f);
    EXPECT_FLOAT_EQ(knob.pointerY(50), -1.0f);
    for (int i = 1; i <= 50; ++i) {
        EXPECT_EQ(knob.pointerX(50 - i), -knob.pointerX(50 + i)) << i;
        EXPECT_EQ(knob.pointerY(50 - i), knob.pointerY(50 + i)) << i;
    }
}

TEST_F(KnobFixture, PositionsOutsideTheRangeDrawAsTheNearestEnd) {
    const Strokes low = paintAt(0), high = paintAt(100);
    EXPECT_EQ(paintAt(-7), low);
    EXPECT_EQ(paintAt(1000), high);
    EXPECT_EQ(knob.getPosition(), 1000);  // drawing clamps, the position stays
}

TEST_F(KnobFixture, SetterStoresAnyValueAndAlwaysNotifiesAndRepaints) {
    auto* node = HeadlessPlatform::node(knob.widget());
    int before = node->invalidations;
    knob.setPosition(50);
    knob.setPosition(50);
    knob.setPosition(250);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(node->invalidations - before, 3);
    EXPECT_EQ(knob.getPosition(), 250);
}

TEST_F(KnobFixture, SmallDragsRoundEachHalfToEven) {
    drag(1, 0);  // R(0.5) = 0, but the move still notifies
    EXPECT_EQ(knob.getPosition(), 50);
    EXPECT_EQ(changes, 1);
    ui.moveCursor({ui.cursor.x + 2, ui.cursor.y});  // 3 px from the press: R(1.5) = 2
    EXPECT_EQ(knob.getPosition(), 52);
    ui.moveCursor({ui.cursor.x + 2, ui.cursor.y});  // 5 px: R(2.5) = 2
    EXPECT_EQ(knob.getPosition(), 52);
    ui.moveCursor({ui.cursor.x + 2, ui.cursor.y});  // 7 px: R(3.5) = 4
    EXPECT_EQ(knob.getPosition(), 54);
    ui.release();
    // Left of the press: R(-1.5) = -2 on the x axis.
    drag(-3, 0);
    EXPECT_EQ(knob.getPosition(), 52);
}

TEST_F(KnobFixture, AxesAddUpAndRightTurnClockwise) {
    drag(10, -10);
    EXPECT_EQ(knob.getPosition(), 60);
    ui.moveCursor({ui.cursor.x - 20, ui.cursor.y + 20});  // 10 left, 10 down of the press
    EXPECT_EQ(knob.getPosition(), 40);
}

TEST_F(KnobFixture, LongDragsClampAndMovingBackReverses) {
    Point start = ui.cursor;
    drag(0, -300);
    EXPECT_EQ(knob.getPosition(), 100);
    ui.moveCursor({start.x, start.y + 300});
    EXPECT_EQ(knob.getPosition(), 0);
    ui.moveCursor({start.x, start.y - 20});  // computed from the press, not the last step
    EXPECT_EQ(knob.getPosition(), 60);
    ui.release();
    EXPECT_FALSE(knob.Dragging);
}

TEST_F(KnobFixture, DragHoldsTheCaptureAndEndsOnReleaseOrLoss) {
    drag(0, 0);
    EXPECT_TRUE(knob.Dragging);
    EXPECT_EQ(ui.captured, knob.widget());
    ui.release();
    EXPECT_FALSE(knob.Dragging);
    EXPECT_EQ(ui.captured, nullptr);

    drag(0, 0);
    ui.stealCapture();
    EXPECT_FALSE(knob.Dragging);
    int seen = changes;
    ui.cursor.y -= 40;
    knob.mouseMove();  // a stray move after the loss turns nothing
    EXPECT_EQ(changes, seen);
}

TEST_F(KnobFixture, PressingASecondKnobEndsTheFirstDrag) {
    TTsumami other{ui, nullptr, Box{40, 0, 33, 33}};
    drag(0, 0);
    ui.press(other.widget());
    EXPECT_FALSE(knob.Dragging);
    EXPECT_TRUE(other.Dragging);
}

// At 2x the knob is the 1x knob drawn twice as large: the same strokes, each
// coordinate within the rounding of twice its 1x value. An offset left at
// its 1x value shows as an error of 2 pixels or more.
TEST(KnobAtScale, DrawsTheSameStrokesTwiceAsLarge) {
    HeadlessPlatform ui;
    TTsumami small{ui, nullptr, Box{0, 0, 33, 33}};
    TTsumami large{ui, nullptr, Box{0, 0, 66, 66}, Scale(2.0)};
    for (int p : {0, 25, 50, 75, 100}) {
        small.setPosition(p);
        large.setPosition(p);
        RecordingCanvas one, two;
        small.paint(one);
        large.paint(two);
        ASSERT_EQ(one.commands.size(), two.commands.size());
        for (std::size_t i = 0; i < one.commands.size(); ++i) {
            std::istringstream a(one.commands[i]), b(two.commands[i]);
            std::string nameA, nameB;
            a >> nameA;
            b >> nameB;
            ASSERT_EQ(nameA, nameB);
            if (nameA == "pen" || nameA == "brush") continue;
            for (int u, v; a >> u && b >> v;)
                EXPECT_LE(std::abs(v - 2 * u), 1 + (nameA == "line")) << p << ": " << one.commands[i] << " / " << two.commands[i];
        }
    }
}

TEST(KnobAtScale, ADragTurnsOnePositionPerTwoDesignPixels) {
    HeadlessPlatform ui;
    for (double s : {1.0, 1.5, 2.0, 3.0}) {
        TTsumami knob{ui, nullptr, Box{0, 0, 66, 66}, Scale(s)};
        const Point start = ui.cursor;
        ui.press(knob.widget());
        ui.moveCursor({start.x + static_cast<int>(std::lround(20 * s)), start.y});
        EXPECT_EQ(knob.getPosition(), 60) << s;  // 20 design pixels right: +10
        ui.moveCursor({start.x, start.y - static_cast<int>(std::lround(10 * s))});
        EXPECT_EQ(knob.getPosition(), 55) << s;
        ui.release();
        ui.cursor = start;
    }
}

}  // namespace
}  // namespace orvo
