#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include "tests/window/mainwindow/tsdf_fixture.h"
#include "window/mainwindow/client_area.h"
#include "window/mainwindow/event_log_memo.h"

namespace tev::testing {
namespace {

class TsdfNavigationTest : public TsdfTest {
  protected:
    void SetUp() override {
        TsdfTest::SetUp();
        sdf->show();
        settle();
        tones.tones.clear();
        repaintsBefore = sdf->repaintRequestCount();
    }
    void TearDown() override {
        if (QMenu* popup = sdf->popupMenu()) popup->hide();
    }

    QWidget* client() const { return sdf->clientArea(); }
    ChartChannel& ch(int n) { return sdf->view().channel(n); }
    int repaints() const { return sdf->repaintRequestCount() - repaintsBefore; }
    static void settle() {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    void press(Qt::MouseButton button, QPoint at) {
        QTest::mousePress(client(), button, {}, at);
        QTest::mouseRelease(client(), button, {}, at);
    }
    // As the window system delivers it: a press and a release, then the second press as a
    // double-click.
    void doubleClick(QPoint at) {
        press(Qt::LeftButton, at);
        QTest::mouseDClick(client(), Qt::LeftButton, {}, at);
    }
    void wheel(int angle) {
        const QPointF at(600, 150);
        QWheelEvent event(at, client()->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(client(), &event);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(client(), k, modifiers);
    }
    // `rows` closed rows of the Min table, CH1 showing V1 on Min at the given span.
    void minuteHistory(int rows, int span) {
        ScaleTable& t = sdf->store().table(TimeScale::Min);
        for (int r = 0; r <= rows; ++r) t.setValue(kColV1, r, 200.0f + r % 30);
        t.cnt = rows;
        ChartChannel& c = ch(1);
        c.quantity = Quantity::V1;
        c.timeScale = TimeScale::Min;
        c.span = span;
        c.spanPerScale[scaleIndex(TimeScale::Min)] = span;
        sdf->requestRepaint();
        settle();
        tones.tones.clear();
        repaintsBefore = sdf->repaintRequestCount();
    }

    int repaintsBefore = 0;
};

TEST_F(TsdfNavigationTest, PressOnThePanelDrawsOnlyThePositionTextAtOnce) {
    const int paints = sdf->paintCount();
    const int positionPaints = sdf->clickPositionPaintCount();
    press(Qt::LeftButton, {120, 300});
    settle();
    EXPECT_EQ(sdf->view().lastClickX, 120);
    EXPECT_EQ(sdf->view().lastClickY, 300);
    EXPECT_TRUE(tones.tones.empty());
    EXPECT_EQ(repaints(), 0);
    EXPECT_EQ(sdf->paintCount(), paints);
    EXPECT_GE(sdf->clickPositionPaintCount(), positionPaints + 1);

    // The small paint draws the grey text on the window colour at (880, 602).
    const QImage area = client()->grab(QRect(880, 602, 104, 17)).toImage();
    int grey = 0;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            if (QColor(area.pixel(x, y)) != QColor(46, 46, 46)) ++grey;
    EXPECT_GT(grey, 20);
}

TEST_F(TsdfNavigationTest, PressesOnTheStripAndBelowTheChartsSelectNoChannel) {
    press(Qt::LeftButton, {600, 400});
    tones.tones.clear();
    press(Qt::LeftButton, {600, 270});
    press(Qt::LeftButton, {600, 600});
    press(Qt::LeftButton, {300, 650});
    EXPECT_EQ(sdf->view().activeChannel, 2);
    EXPECT_TRUE(tones.tones.empty());
}

TEST_F(TsdfNavigationTest, FirstPressInCh2SwitchesWithItsToneAndDisablesTheLog) {
    press(Qt::LeftButton, {700, 650});  // the log region
    EXPECT_TRUE(sdf->controls().m1->isEnabled());
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1700, 150}}));

    ch(2).cursorOn = true;
    press(Qt::MiddleButton, {640, 420});
    EXPECT_EQ(sdf->view().activeChannel, 2);
    EXPECT_EQ(ch(2).cursorX, 640);
    EXPECT_FALSE(sdf->controls().m1->isEnabled());
    EXPECT_TRUE(client()->hasFocus() || !client()->window()->isActiveWindow());
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1700, 150}, {1700, 150}}));

    press(Qt::LeftButton, {640, 100});
    EXPECT_EQ(tones.tones.back(), (Tone{1600, 150}));
    EXPECT_EQ(sdf->view().activeChannel, 1);
}

TEST_F(TsdfNavigationTest, DoubleClickOnTheInactiveChannelActivatesThenShowsItsCursor) {
    doubleClick({700, 450});
    EXPECT_EQ(sdf->view().activeChannel, 2);
    EXPECT_TRUE(ch(2).cursorOn);
    EXPECT_EQ(ch(2).cursorX, 700);
    EXPECT_FALSE(ch(1).cursorOn);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1700, 150}, {1700, 150}}));

    tones.tones.clear();
    doubleClick({720, 450});
    EXPECT_FALSE(ch(2).cursorOn);
    // The double-click's first press moved the cursor before the second switched it off.
    EXPECT_EQ(ch(2).cursorX, 720);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1500, 150}}));
}

TEST_F(TsdfNavigationTest, WheelUpAtTheDefaultMinSpanOnlyBeepsAndDownsStepBy50) {
    minuteHistory(300, 100);
    wheel(120);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1700, 200}}));
    EXPECT_EQ(repaints(), 0);
    EXPECT_EQ(ch(1).span, 100);

    tones.tones.clear();
    wheel(-120);
    wheel(-120);
    wheel(-120);
    EXPECT_EQ(ch(1).span, 250);
    EXPECT_EQ(repaints(), 3);
    wheel(120);
    EXPECT_EQ(ch(1).span, 200);
    wheel(120);
    EXPECT_EQ(ch(1).span, 200);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1700, 200}}));

    // A touchpad's half notches add up to one step.
    wheel(-60);
    EXPECT_EQ(ch(1).span, 200);
    wheel(-60);
    EXPECT_EQ(ch(1).span, 250);
}

TEST_F(TsdfNavigationTest, WheelDownPastTheRowsTakesTheRowCountBeepsAndRepaints) {
    minuteHistory(120, 100);
    wheel(-120);
    EXPECT_EQ(ch(1).span, 120);
    EXPECT_TRUE(tones.tones.empty());
    wheel(-120);
    EXPECT_EQ(ch(1).span, 120);
    EXPECT_EQ(ch(1).spanPerScale[scaleIndex(TimeScale::Min)], 120);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1500, 200}}));
    EXPECT_EQ(repaints(), 2);
}

TEST_F(TsdfNavigationTest, WheelActsOnAnActiveChannelShowingNone) {
    press(Qt::LeftButton, {700, 400});
    ch(2).rowCount = 50;
    tones.tones.clear();
    wheel(-120);
    EXPECT_EQ(ch(2).span, 15);  // Hour: 10 + 5
    EXPECT_EQ(ch(1).span, 10);
}

TEST_F(TsdfNavigationTest, KeypadPlusAndMinusChangeTheSpanButTheMainKeyboardsDoNot) {
    minuteHistory(1000, 100);
    key(Qt::Key_Minus);
    key(Qt::Key_Plus);
    EXPECT_EQ(ch(1).span, 100);
    EXPECT_TRUE(tones.tones.empty());
    key(Qt::Key_Minus, Qt::KeypadModifier);
    key(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(ch(1).span, 200);
    key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(ch(1).span, 200);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1700, 200}}));
    EXPECT_EQ(navigationVirtualKey(Qt::Key_Plus, Qt::KeypadModifier), 107);
    EXPECT_EQ(navigationVirtualKey(Qt::Key_Minus, Qt::KeypadModifier), 109);
    EXPECT_EQ(navigationVirtualKey(Qt::Key_Up, Qt::NoModifier), 0);
}

TEST_F(TsdfNavigationTest, ArrowsWithBothCursorsOffDoNothingAndDoNotRepaint) {
    key(Qt::Key_Left);
    key(Qt::Key_Right);
    EXPECT_TRUE(tones.tones.empty());
    EXPECT_EQ(repaints(), 0);
}

TEST_F(TsdfNavigationTest, ArrowsStepTheCursorThatThePaintThenReads) {
    minuteHistory(40, 40);
    doubleClick({929, 100});
    settle();
    EXPECT_TRUE(ch(1).cursorOn);
    EXPECT_EQ(ch(1).cursorIndex, 0);
    tones.tones.clear();

    key(Qt::Key_Left);
    settle();
    EXPECT_EQ(ch(1).cursorX, 912);
    EXPECT_EQ(ch(1).cursorIndex, 1);
    key(Qt::Key_Right);
    EXPECT_EQ(ch(1).cursorIndex, -1);
    EXPECT_EQ(ch(1).cursorX, 945);
    settle();
    EXPECT_EQ(ch(1).cursorIndex, 0);  // the paint clamps it to the newest point
    key(Qt::Key_Right);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1500, 200}}));

    // Far left the cursor rests at 260 without a tone.
    press(Qt::LeftButton, {265, 100});
    tones.tones.clear();
    key(Qt::Key_Left);
    key(Qt::Key_Left);
    EXPECT_EQ(ch(1).cursorX, 260);
    EXPECT_TRUE(tones.tones.empty());
    press(Qt::LeftButton, {255, 100});
    key(Qt::Key_Left);
    EXPECT_EQ(ch(1).cursorX, 255);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1500, 200}}));
}

TEST_F(TsdfNavigationTest, CoupledChannelsFollowSpanAndCursor) {
    minuteHistory(1000, 100);
    QTest::mouseClick(sdf->controls().Syn_CH, Qt::LeftButton);
    ASSERT_TRUE(sdf->view().syncChannels);
    doubleClick({800, 100});
    EXPECT_TRUE(ch(2).cursorOn);
    EXPECT_EQ(ch(2).cursorX, 800);
    key(Qt::Key_Left);
    EXPECT_EQ(ch(2).cursorX, ch(1).cursorX);
    EXPECT_LT(ch(2).cursorX, 800);
    wheel(-120);
    EXPECT_EQ(ch(2).spanPerScale[scaleIndex(TimeScale::Min)], 150);
    EXPECT_EQ(ch(2).span, 150);
    EXPECT_EQ(ch(2).timeScale, TimeScale::Hour);
}

}  // namespace
}  // namespace tev::testing
