#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include "tests/window/mainwindow/tsdf_fixture.h"
#include "window/mainwindow/clickable_label.h"

namespace tev::testing {
namespace {

struct ExpectedLabel {
    const char* name;
    QRect geometry;
    const char* caption;
    int pixelHeight;
    bool bold;
    QColor colour;
};

TEST_F(TsdfTest, ClientAreaIsFixedAtItsSizeWithTheDarkBackgroundAndNoMaximiseButton) {
    QWidget* client = sdf->clientArea();
    EXPECT_EQ(client->size(), QSize(984, 796));
    EXPECT_EQ(client->minimumSize(), client->maximumSize());
    EXPECT_EQ(client->palette().color(QPalette::Window), QColor(46, 46, 46));
    EXPECT_FALSE(sdf->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(sdf->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    // A first run (no settings file) opens the window at the screen's top left.
    EXPECT_EQ(sdf->pos(), QPoint(0, 0));
    EXPECT_EQ(sdf->objectName(), "sdf");
}

TEST_F(TsdfTest, StatusLabelsAndButtonsSitAtTheirPlacesWithTheirCaptionsFontsAndColours) {
    const ExpectedLabel labels[] = {
        // ip_l shows the computer's address once the meter socket listens.
        {"ip_l", {5, 7, 115, 16}, "", 13, false, QColor(128, 255, 255)},
        {"Connect_l", {263, 7, 125, 16}, "- 未連線 -", 12, false, QColor(128, 128, 128)},
        {"id_l", {395, 7, 127, 16}, "", 12, false, QColor(255, 0, 255)},
        // The start-up clock snapshot: 2 August 2024, 08:05, bilingual.
        {"Date_lb", {770, 5, 127, 21}, "2024年 8月 2日      ", 16, false, QColor(0, 255, 255)},
        {"Time_lb", {902, 3, 79, 20}, "8 : 5      ", 20, true, QColor(255, 255, 255)},
        {"Label1",
         {486, 602, 151, 15},
         "TEV System LOG  工作記錄",
         12,
         false,
         QColor(192, 192, 192)},
    };
    for (const ExpectedLabel& e : labels) {
        SCOPED_TRACE(e.name);
        auto* label = control<QLabel>(e.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->parentWidget(), sdf->clientArea());
        EXPECT_EQ(label->geometry(), e.geometry);
        const std::string caption =
            std::string(e.name) == "ip_l" ? "IP " + sdf->computerIp() : e.caption;
        EXPECT_EQ(label->text(), QString::fromStdString(caption));
        EXPECT_EQ(label->font().pixelSize(), e.pixelHeight);
        EXPECT_EQ(label->font().bold(), e.bold);
        EXPECT_EQ(textColour(label), e.colour);
    }
    EXPECT_EQ(control<QLabel>("Date_lb")->font().family(), QString::fromUtf8("微軟正黑體"));

    auto* copy = control<QPushButton>("copy_b");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->geometry(), QRect(119, 6, 35, 17));
    EXPECT_EQ(copy->text(), QString::fromUtf8("複製"));
    EXPECT_TRUE(copy->isFlat());
    EXPECT_EQ(copy->font().family(), "Arial Narrow");
    EXPECT_EQ(copy->font().pixelSize(), 11);
    EXPECT_EQ(copy->palette().color(QPalette::ButtonText), QColor(0, 0, 255));

    auto* sync = control<QPushButton>("Syn_CH");
    ASSERT_NE(sync, nullptr);
    EXPECT_EQ(sync->geometry(), QRect(543, 6, 42, 17));
    EXPECT_EQ(sync->text(), QString::fromUtf8("CH同步"));
    EXPECT_TRUE(sync->font().bold());
    EXPECT_EQ(sync->palette().color(QPalette::ButtonText), QColor(128, 128, 128));
}

TEST_F(TsdfTest, TimeScaleLabelsLineUpAboveEachChannelWithHourInAqua) {
    const int ch1Left[] = {373, 436, 494, 558, 618, 661, 711};
    const int ch2Left[] = {373, 436, 496, 563, 622, 665, 715};
    const char* captions[] = {"Min 一分鐘", "5Min 五分", "10Min 十分", "Hour 小時",
                              "Day 日 ",    "Week 周 ",  "Month 月 "};
    for (int channel = 1; channel <= 2; ++channel) {
        for (int i = 0; i < 7; ++i) {
            const QString name = QString("L%1%2").arg(channel).arg(i);
            SCOPED_TRACE(name.toStdString());
            auto* label = sdf->findChild<ClickableLabel*>(name);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->pos(),
                      QPoint(channel == 1 ? ch1Left[i] : ch2Left[i], channel == 1 ? 32 : 284));
            EXPECT_EQ(label->text(), QString::fromUtf8(captions[i]));
            EXPECT_EQ(label->font().pixelSize(), 12);
            EXPECT_TRUE(label->autoFillBackground());
            EXPECT_EQ(label->palette().color(QPalette::Window), QColor(0, 0, 0));
            EXPECT_EQ(textColour(label), i == 3 ? QColor(0, 255, 255) : QColor(128, 128, 128));
        }
    }
}

TEST_F(TsdfTest, MemoStatusBarAndHiddenControlsExist) {
    auto* memo = control<QPlainTextEdit>("m1");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->geometry(), QRect(484, 619, 496, 153));
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_FALSE(memo->isEnabled());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->font().pixelSize(), 12);
    // Disabled, the memo still shows blue text on silver.
    EXPECT_EQ(memo->palette().color(QPalette::Disabled, QPalette::Text), QColor(0, 0, 255));
    EXPECT_EQ(memo->palette().color(QPalette::Disabled, QPalette::Base), QColor(192, 192, 192));

    auto* status = control<QStatusBar>("StatusBar1");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->parentWidget(), sdf->clientArea());
    EXPECT_EQ(status->geometry(), QRect(0, 777, 984, 19));

    sdf->show();
    for (const char* name : {"LoadRecords_b", "SaveRecord_b", "saf_b", "Save_b", "Load_b",
                             "M10_Save", "ResetAll_b", "b_set", "b_clr"}) {
        SCOPED_TRACE(name);
        auto* button = control<QPushButton>(name);
        ASSERT_NE(button, nullptr);
        EXPECT_FALSE(button->isVisible());
    }
    EXPECT_EQ(control<QPushButton>("LoadRecords_b")->pos(), QPoint(80, 32));
    EXPECT_EQ(control<QPushButton>("SaveRecord_b")->text(), "Save Records");
    for (const char* name : {"e1", "e2"}) EXPECT_FALSE(control<QLineEdit>(name)->isVisible());
    EXPECT_FALSE(control<QToolButton>("SpeedButton1")->isVisible());
    EXPECT_FALSE(control<QPlainTextEdit>("m2")->isVisible());
    EXPECT_TRUE(memo->isVisible());
    EXPECT_EQ(sdf->clientArea()->size(), QSize(984, 796));
}

TEST_F(TsdfTest, MemoShowsTheWindowsEventLog) {
    auto* memo = control<QPlainTextEdit>("m1");
    sdf->eventLog().append("2024/8/2 8:5 start");
    EXPECT_TRUE(memo->toPlainText().endsWith("\n2024/8/2 8:5 start"));
    EXPECT_EQ(memo->toPlainText().count('\n') + 1,
              static_cast<int>(sdf->eventLog().lines().size()));
    sdf->eventLog().clear();
    EXPECT_EQ(memo->toPlainText(), "");
}

TEST_F(TsdfTest, TimerTicksEverySecondFromCreation) {
    auto* timer = sdf->timer();
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->objectName(), "Timer1");
    EXPECT_EQ(timer->interval(), 1000);
    EXPECT_TRUE(timer->isActive());
}

}  // namespace
}  // namespace tev::testing
