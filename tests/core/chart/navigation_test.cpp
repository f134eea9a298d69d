#include "core/chart/navigation.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/core/chart/paint_fixture.h"

namespace tev::testing {
namespace {

using Kind = NavigationAction::Kind;

constexpr NavigationAction toneAction(ToneRequest t) {
    return {Kind::Tone, t};
}
constexpr NavigationAction kRepaint{Kind::Repaint, {}};
constexpr NavigationAction kEnableLog{Kind::EnableLog, {}};
constexpr NavigationAction kDisableLog{Kind::DisableLog, {}};

class Navigation : public PaintFixture {
  protected:
    ViewState& v() { return *view; }
    // A channel on `scale` whose last paint saw `rows` rows.
    void onScale(int number, TimeScale scale, int rows, int span) {
        ChartChannel& c = view->channel(number);
        c.timeScale = scale;
        c.rowCount = rows;
        c.span = span;
        c.spanPerScale[scaleIndex(scale)] = span;
    }
};

TEST_F(Navigation, PressOnTheReadingsPanelOnlyRecordsThePosition) {
    const NavigationOutcome out = pressChart(v(), PressButton::Left, false, 250, 100);
    EXPECT_TRUE(out.actions.empty());
    EXPECT_TRUE(out.showClickPosition);
    EXPECT_EQ(v().lastClickX, 250);
    EXPECT_EQ(v().lastClickY, 100);
    EXPECT_EQ(v().activeChannel, 1);
}

TEST_F(Navigation, RegionsLeaveTheStripAt270AndEverythingFrom600Unclaimed) {
    EXPECT_TRUE(inCh1Region(251, 269));
    EXPECT_FALSE(inCh1Region(251, 270));
    EXPECT_FALSE(inCh2Region(251, 270));
    EXPECT_TRUE(inCh2Region(251, 271));
    EXPECT_TRUE(inCh2Region(980, 599));
    EXPECT_FALSE(inCh2Region(600, 600));
    EXPECT_FALSE(inCh1Region(250, 100));
    EXPECT_FALSE(inCh2Region(250, 400));
    EXPECT_TRUE(inLogRegion(487, 606));
    EXPECT_FALSE(inLogRegion(486, 700));
    EXPECT_FALSE(inLogRegion(700, 605));

    v().activeChannel = 2;
    EXPECT_TRUE(pressChart(v(), PressButton::Left, false, 600, 270).actions.empty());
    EXPECT_TRUE(pressChart(v(), PressButton::Left, false, 600, 600).actions.empty());
    EXPECT_TRUE(pressChart(v(), PressButton::Left, false, 600, 603).actions.empty());
    EXPECT_EQ(v().activeChannel, 2);
}

TEST_F(Navigation, FirstPressInCh2SwitchesTheChannelAndMovesItsShownCursor) {
    ch2().cursorOn = true;
    ch2().cursorX = 700;
    const NavigationOutcome out = pressChart(v(), PressButton::Right, false, 500, 400);
    EXPECT_EQ(v().activeChannel, 2);
    EXPECT_EQ(ch2().cursorX, 500);
    EXPECT_EQ(out.actions, (std::vector<NavigationAction>{toneAction({1700, 150}), kRepaint,
                                                          kDisableLog, kRepaint}));

    // Pressing the active channel again is silent but still moves the cursor.
    const NavigationOutcome again = pressChart(v(), PressButton::Middle, false, 600, 300);
    EXPECT_EQ(again.actions, std::vector<NavigationAction>{kRepaint});
    EXPECT_EQ(ch2().cursorX, 600);

    const NavigationOutcome back = pressChart(v(), PressButton::Left, false, 600, 100);
    EXPECT_EQ(back.actions,
              (std::vector<NavigationAction>{toneAction({1600, 150}), kRepaint, kDisableLog}));
    EXPECT_EQ(v().activeChannel, 1);
    EXPECT_EQ(ch2().cursorX, 600);
}

TEST_F(Navigation, LogRegionEnablesTheMemoWithATone) {
    const NavigationOutcome out = pressChart(v(), PressButton::Left, false, 700, 700);
    EXPECT_EQ(out.actions,
              (std::vector<NavigationAction>{kEnableLog, toneAction({1700, 150}), kRepaint}));
    EXPECT_EQ(v().activeChannel, 1);
}

TEST_F(Navigation, DoubleClickOnTheInactiveChannelActivatesItThenTogglesTheCursor) {
    // A double-click arrives as a plain press followed by a press with the double-click flag.
    pressChart(v(), PressButton::Left, false, 640, 450);
    const NavigationOutcome second = pressChart(v(), PressButton::Left, true, 640, 450);
    EXPECT_TRUE(ch2().cursorOn);
    EXPECT_FALSE(ch1().cursorOn);
    EXPECT_EQ(ch2().cursorX, 640);
    EXPECT_EQ(second.actions,
              (std::vector<NavigationAction>{toneAction({1700, 150}), kRepaint, kRepaint}));

    const NavigationOutcome off = pressChart(v(), PressButton::Left, true, 700, 450);
    EXPECT_FALSE(ch2().cursorOn);
    EXPECT_EQ(ch2().cursorX, 640);  // an off cursor stays where it was
    EXPECT_EQ(off.actions, (std::vector<NavigationAction>{toneAction({1500, 150}), kRepaint}));

    // Only the left button toggles.
    pressChart(v(), PressButton::Right, true, 700, 450);
    EXPECT_FALSE(ch2().cursorOn);
}

TEST_F(Navigation, SyncedDoubleClickSwitchesBothCursorsAndPressesMoveBoth) {
    v().syncChannels = true;
    pressChart(v(), PressButton::Left, true, 800, 100);
    EXPECT_TRUE(ch1().cursorOn);
    EXPECT_TRUE(ch2().cursorOn);
    EXPECT_EQ(ch1().cursorX, 800);
    EXPECT_EQ(ch2().cursorX, 800);

    pressChart(v(), PressButton::Left, false, 720, 350);  // activates CH2
    EXPECT_EQ(ch1().cursorX, 720);
    EXPECT_EQ(ch2().cursorX, 720);
    pressChart(v(), PressButton::Left, true, 720, 350);
    EXPECT_FALSE(ch1().cursorOn);
    EXPECT_FALSE(ch2().cursorOn);
}

TEST_F(Navigation, ThreeWheelDownsThenUpsStopAtTheLowestMinSpan) {
    onScale(1, TimeScale::Min, 250, 100);
    for (int expected : {150, 200, 250}) {
        const NavigationOutcome out = morePoints(v());
        EXPECT_EQ(out.actions, std::vector<NavigationAction>{kRepaint});
        EXPECT_EQ(ch1().span, expected);
        EXPECT_EQ(ch1().spanPerScale[0], expected);
    }
    EXPECT_EQ(fewerPoints(v()).actions, std::vector<NavigationAction>{kRepaint});
    EXPECT_EQ(ch1().span, 200);
    EXPECT_EQ(fewerPoints(v()).tones(), (std::vector<ToneRequest>{{1700, 200}}));
    EXPECT_EQ(ch1().span, 200);
}

TEST_F(Navigation, FewerPointsStartsFromTheRememberedSpanAndStopsAtTheLowest) {
    onScale(1, TimeScale::M5, 40, 80);
    ch1().span = 40;  // clamped by the last paint
    fewerPoints(v());
    EXPECT_EQ(ch1().span, 70);
    onScale(1, TimeScale::M5, 40, 55);
    fewerPoints(v());
    EXPECT_EQ(ch1().span, 50);  // 45 is raised to the lowest
    EXPECT_EQ(spanStepsOf(TimeScale::Hour).more, 5);
    EXPECT_EQ(spanStepsOf(TimeScale::Day).lowest, 30);
}

TEST_F(Navigation, WheelDownPastTheRowCountTakesTheRowCountWithAToneAndRepaints) {
    onScale(1, TimeScale::Hour, 7, 10);
    const NavigationOutcome out = morePoints(v());
    EXPECT_EQ(out.actions, (std::vector<NavigationAction>{toneAction({1500, 200}), kRepaint}));
    EXPECT_EQ(ch1().span, 7);
    EXPECT_EQ(ch1().spanPerScale[scaleIndex(TimeScale::Hour)], 7);

    onScale(1, TimeScale::Hour, 13, 10);
    morePoints(v());
    EXPECT_EQ(ch1().span, 13);  // 10 + 5 is limited to the rows there are
}

TEST_F(Navigation, WheelActsOnTheActiveChannelEvenWithoutAQuantity) {
    v().activeChannel = 2;
    onScale(2, TimeScale::Day, 100, 10);
    ASSERT_EQ(ch2().quantity, Quantity::None);
    morePoints(v());
    EXPECT_EQ(ch2().span, 12);
    EXPECT_EQ(ch1().span, 10);
}

TEST_F(Navigation, SyncedSpanGoesToTheOtherChannelUnderTheSameScaleIndex) {
    v().syncChannels = true;
    onScale(1, TimeScale::Min, 1000, 100);
    onScale(2, TimeScale::Hour, 20, 10);
    morePoints(v());
    EXPECT_EQ(ch1().span, 150);
    EXPECT_EQ(ch2().spanPerScale[scaleIndex(TimeScale::Min)], 150);
    EXPECT_EQ(ch2().span, 150);  // though CH2 shows hours
    EXPECT_EQ(ch2().spanPerScale[scaleIndex(TimeScale::Hour)], 10);
    EXPECT_EQ(ch2().timeScale, TimeScale::Hour);

    // A request that only beeps mirrors nothing.
    v().activeChannel = 2;
    ch2().span = 3;
    fewerPoints(v());
    EXPECT_EQ(ch2().span, 10);
    EXPECT_EQ(ch1().spanPerScale[scaleIndex(TimeScale::Hour)], 10);
}

TEST_F(Navigation, ArrowStepIsThePlotWidthOverTheRowsLimitedTo20) {
    EXPECT_FLOAT_EQ(arrowStep(0), 20.0f);
    EXPECT_FLOAT_EQ(arrowStep(10), 20.0f);
    EXPECT_FLOAT_EQ(arrowStep(100), 6.65f);
    EXPECT_FLOAT_EQ(arrowStep(8000), 665.0f / 8000.0f);
}

TEST_F(Navigation, LeftArrowStepsByKAndStopsAt260WithoutATone) {
    ch1().cursorOn = true;
    ch1().rowCount = 100;  // k = 6.65
    ch1().cursorX = 929;
    NavigationOutcome out = cursorLeft(v());
    EXPECT_EQ(out.actions, std::vector<NavigationAction>{kRepaint});
    EXPECT_EQ(ch1().cursorIndex, 1);
    EXPECT_EQ(ch1().cursorX, 922);  // trunc(929 - 6.65)
    cursorLeft(v());
    EXPECT_EQ(ch1().cursorIndex, 2);
    EXPECT_EQ(ch1().cursorX, 915);  // trunc(929 - 13.3)

    ch1().cursorX = 262;
    out = cursorLeft(v());
    EXPECT_EQ(ch1().cursorX, 260);
    EXPECT_TRUE(out.tones().empty());
    out = cursorLeft(v());
    EXPECT_EQ(ch1().cursorX, 260);
    EXPECT_TRUE(out.tones().empty());

    // Only a press at x 251 … 259 puts the cursor left of 260, and then the key beeps.
    ch1().cursorX = 255;
    out = cursorLeft(v());
    EXPECT_EQ(out.actions, (std::vector<NavigationAction>{toneAction({1500, 200}), kRepaint}));
    EXPECT_EQ(ch1().cursorX, 255);
}

TEST_F(Navigation, RightArrowFromIndexOneGoesToMinusOneAndBeepsAtTheNewest) {
    ch1().cursorOn = true;
    ch1().rowCount = 40;  // k = 16.625
    ch1().cursorIndex = 1;
    ch1().cursorX = 912;  // trunc(929 - 16.625)
    NavigationOutcome out = cursorRight(v());
    EXPECT_EQ(out.actions, std::vector<NavigationAction>{kRepaint});
    EXPECT_EQ(ch1().cursorIndex, -1);
    EXPECT_EQ(ch1().cursorX, 945);  // trunc(929 + 16.625), right of the newest point

    ch1().cursorIndex = 0;  // what the paint clamps it to
    out = cursorRight(v());
    EXPECT_EQ(out.actions, (std::vector<NavigationAction>{toneAction({1500, 200}), kRepaint}));
    EXPECT_EQ(ch1().cursorX, 945);

    // Two steps to the right otherwise.
    ch1().cursorIndex = 5;
    ch1().cursorX = 845;  // trunc(929 - 5 * 16.625)
    cursorRight(v());
    EXPECT_EQ(ch1().cursorIndex, 3);
    EXPECT_EQ(ch1().cursorX, 879);
}

TEST_F(Navigation, RightArrowStepIsAtLeastOnePixel) {
    ch2().cursorOn = true;
    v().activeChannel = 2;
    ch2().rowCount = 8000;
    ch2().cursorIndex = 50;
    ch2().cursorX = 879;
    cursorRight(v());
    EXPECT_EQ(ch2().cursorIndex, 49);  // trunc(51 / 1) - 2
    EXPECT_EQ(ch2().cursorX, 880);
}

TEST_F(Navigation, ArrowsWithBothCursorsOffDoNothingAndDoNotRepaint) {
    ch1().cursorX = 500;
    EXPECT_TRUE(cursorLeft(v()).actions.empty());
    EXPECT_TRUE(cursorRight(v()).actions.empty());
    EXPECT_EQ(ch1().cursorX, 500);

    // The inactive channel's cursor is not stepped, yet the window repaints.
    ch2().cursorOn = true;
    ch2().cursorX = 500;
    EXPECT_EQ(cursorLeft(v()).actions, std::vector<NavigationAction>{kRepaint});
    EXPECT_EQ(ch2().cursorX, 500);
}

TEST_F(Navigation, SyncedArrowsCopyTheCursorColumnEvenWhenTheyOnlyBeep) {
    v().syncChannels = true;
    ch1().cursorOn = true;
    ch1().rowCount = 100;
    ch1().cursorX = 929;
    ch2().cursorX = 300;
    cursorLeft(v());
    EXPECT_EQ(ch2().cursorX, 922);

    ch1().cursorIndex = 0;
    ch2().cursorX = 300;
    cursorRight(v());
    EXPECT_EQ(ch2().cursorX, 922);
}

TEST_F(Navigation, KeysMapByTheirVirtualCodes) {
    onScale(1, TimeScale::Min, 1000, 100);
    navigationKey(v(), 109);
    navigationKey(v(), 109);
    navigationKey(v(), 109);
    EXPECT_EQ(ch1().span, 250);
    navigationKey(v(), 107);
    EXPECT_EQ(ch1().span, 200);
    EXPECT_TRUE(navigationKey(v(), 187).actions.empty());  // the main keyboard's plus
    EXPECT_EQ(ch1().span, 200);
    ch1().cursorOn = true;
    ch1().cursorX = 929;
    navigationKey(v(), 37);
    EXPECT_EQ(ch1().cursorX, 927);  // k = 0.665: index 2, trunc(929 - 1.33)
    navigationKey(v(), 39);
    EXPECT_EQ(ch1().cursorX, 928);  // k raised to 1: index trunc(3 / 1) - 2
}

// The paint finds the point the arrows chose once k equals the paint's step.
TEST_F(Navigation, PaintShowsTheCursorOnThePointTheArrowsReached) {
    std::initializer_list<float> values = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                           15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
                                           29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41};
    fillColumn(TimeScale::Min, kColV1, values);
    show(1, Quantity::V1, TimeScale::Min, 40);
    ch1().cursorOn = true;
    ch1().cursorX = 929;
    paintChannel(1);
    ASSERT_EQ(ch1().rowCount, 40);
    for (int expected = 1; expected <= 3; ++expected) {
        cursorLeft(v());
        paintChannel(1);
        EXPECT_EQ(ch1().cursorIndex, expected);
    }
    cursorRight(v());
    paintChannel(1);
    EXPECT_EQ(ch1().cursorIndex, 1);
    cursorRight(v());
    paintChannel(1);
    EXPECT_EQ(ch1().cursorIndex, 0);
}

}  // namespace
}  // namespace tev::testing
