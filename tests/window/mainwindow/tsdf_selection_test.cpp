#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "tests/window/mainwindow/tsdf_fixture.h"
#include "window/mainwindow/clickable_label.h"

namespace tev::testing {
namespace {

// Notes, with every tone, how many repaints the window had asked for by then.
class OrderedToneSink final : public ToneSink {
  public:
    void beep(int frequencyHz, int durationMs) override {
        tones.push_back({frequencyHz, durationMs});
        repaintsBefore.push_back(sdf != nullptr ? sdf->repaintRequestCount() : -1);
    }
    const Tsdf* sdf = nullptr;
    std::vector<Tone> tones;
    std::vector<int> repaintsBefore;
};

class TsdfSelectionTest : public TsdfTest {
  protected:
    void SetUp() override {
        TsdfTest::SetUp();
        sdf = std::make_unique<Tsdf>(seams(&ordered));
        ordered.sdf = sdf.get();
        ordered.tones.clear();
        ordered.repaintsBefore.clear();
        sdf->resetRepaintCounts();
    }
    void TearDown() override {
        if (QMenu* popup = sdf->popupMenu()) popup->hide();
    }

    QAction* popupItem(const char* name) const {
        return sdf->popupMenu()->findChild<QAction*>(name);
    }
    void clickScaleLabel(const char* name) {
        auto* label = sdf->findChild<ClickableLabel*>(name);
        ASSERT_NE(label, nullptr);
        QTest::mouseClick(label, Qt::LeftButton);
    }

    OrderedToneSink ordered;
};

TEST_F(TsdfSelectionTest, RightPressStoresThePositionThenOpensThePopupThatSetsCh1) {
    sdf->show();
    QTest::mousePress(sdf->clientArea(), Qt::RightButton, {}, QPoint(600, 120));
    EXPECT_EQ(sdf->view().lastClickX, 600);
    EXPECT_EQ(sdf->view().lastClickY, 120);
    EXPECT_TRUE(sdf->popupMenu()->isVisible());

    popupItem("V1_b")->trigger();
    const ChartChannel& ch1 = sdf->view().channel(1);
    EXPECT_EQ(ch1.quantity, Quantity::V1);
    EXPECT_EQ(ch1.title, "V1 AC 電壓");
    EXPECT_EQ(sdf->view().channel(2).quantity, Quantity::None);
    ASSERT_EQ(ordered.tones, (std::vector<Tone>{{1400, 200}}));
    EXPECT_EQ(ordered.repaintsBefore, std::vector<int>{1});
}

TEST_F(TsdfSelectionTest, LeftPressStoresThePositionWithoutOpeningThePopup) {
    sdf->show();
    QTest::mousePress(sdf->clientArea(), Qt::LeftButton, {}, QPoint(120, 650));
    EXPECT_EQ(sdf->view().lastClickX, 120);
    EXPECT_EQ(sdf->view().lastClickY, 650);
    EXPECT_FALSE(sdf->popupMenu()->isVisible());
    QTest::mouseRelease(sdf->clientArea(), Qt::LeftButton, {}, QPoint(120, 650));
}

TEST_F(TsdfSelectionTest, RightPressOnALabelStillAimsThePopupAtTheClientPosition) {
    sdf->show();
    auto* label = sdf->findChild<ClickableLabel*>("L24");
    QTest::mousePress(label, Qt::RightButton, {}, QPoint(3, 4));
    EXPECT_EQ(sdf->view().lastClickX, label->x() + 3);
    EXPECT_EQ(sdf->view().lastClickY, 284 + 4);
    EXPECT_TRUE(sdf->popupMenu()->isVisible());
    popupItem("KWh_b")->trigger();
    EXPECT_EQ(sdf->view().channel(2).quantity, Quantity::KWh);
    EXPECT_EQ(sdf->view().channel(2).title, "KWh 總電量");
}

TEST_F(TsdfSelectionTest, ChoicesFromTheStripOrTheLeftEdgeDoNothingAndChineseKeepsTheTitle) {
    sdf->show();
    QTest::mousePress(sdf->clientArea(), Qt::RightButton, {}, QPoint(600, 275));
    popupItem("W1_b")->trigger();
    QTest::mousePress(sdf->clientArea(), Qt::RightButton, {}, QPoint(256, 100));
    popupItem("W1_b")->trigger();
    EXPECT_EQ(sdf->view().channel(1).quantity, Quantity::None);
    EXPECT_EQ(sdf->view().channel(2).quantity, Quantity::None);
    // Only the presses sound, as they make CH2 (y 275) and then CH1 the active channel.
    EXPECT_EQ(ordered.tones, (std::vector<Tone>{{1700, 150}, {1600, 150}}));
    EXPECT_EQ(sdf->repaintRequestCount(), 2);

    sdf->view().channel(2).title = "L1 Amp 電流";
    sdf->setLanguageMode(LanguageMode::Chinese);
    QTest::mousePress(sdf->clientArea(), Qt::RightButton, {}, QPoint(700, 400));
    popupItem("Watt_b")->trigger();
    EXPECT_EQ(sdf->view().channel(2).quantity, Quantity::Watt);
    EXPECT_EQ(sdf->view().channel(2).title, "L1 Amp 電流");
    popupItem("None_b")->trigger();
    EXPECT_EQ(sdf->view().channel(2).title, "None");
}

TEST_F(TsdfSelectionTest, ScaleLabelClickBeepsThenRecoloursAndRepaints) {
    sdf->view().channel(1).spanPerScale[scaleIndex(TimeScale::Day)] = 25;
    clickScaleLabel("L14");
    EXPECT_EQ(sdf->view().channel(1).timeScale, TimeScale::Day);
    EXPECT_EQ(sdf->view().channel(1).span, 25);
    ASSERT_EQ(ordered.tones, (std::vector<Tone>{{1600, 150}}));
    EXPECT_EQ(ordered.repaintsBefore, std::vector<int>{0});
    EXPECT_EQ(sdf->repaintRequestCount(), 1);
    const SdfControls& k = sdf->controls();
    for (int i = 0; i < kScaleCount; ++i) {
        EXPECT_EQ(textColour(k.ch1Scales[i]),
                  i == scaleIndex(TimeScale::Day) ? QColor(0, 255, 255) : QColor(128, 128, 128));
        EXPECT_EQ(textColour(k.ch2Scales[i]),
                  i == scaleIndex(TimeScale::Hour) ? QColor(0, 255, 255) : QColor(128, 128, 128));
    }

    // The scale already shown still beeps and reloads its remembered span.
    sdf->view().channel(1).span = 2;
    clickScaleLabel("L14");
    EXPECT_EQ(sdf->view().channel(1).span, 25);
    EXPECT_EQ(ordered.tones.size(), 2u);
    EXPECT_EQ(sdf->repaintRequestCount(), 2);
}

TEST_F(TsdfSelectionTest, SyncButtonTogglesToneAndColourWithoutRepaintAndThenMirrorsScales) {
    auto* sync = sdf->findChild<QPushButton*>("Syn_CH");
    QTest::mouseClick(sync, Qt::LeftButton);
    EXPECT_TRUE(sdf->view().syncChannels);
    EXPECT_EQ(sync->palette().color(QPalette::ButtonText), QColor(255, 0, 0));
    EXPECT_EQ(sdf->repaintRequestCount(), 0);

    sdf->view().channel(1).spanPerScale[scaleIndex(TimeScale::M5)] = 60;
    sdf->view().channel(2).spanPerScale[scaleIndex(TimeScale::M5)] = 80;
    clickScaleLabel("L21");
    EXPECT_EQ(sdf->view().channel(1).timeScale, TimeScale::M5);
    EXPECT_EQ(sdf->view().channel(1).span, 60);
    EXPECT_EQ(sdf->view().channel(2).span, 80);
    EXPECT_EQ(textColour(sdf->controls().ch1Scales[scaleIndex(TimeScale::M5)]),
              QColor(0, 255, 255));
    EXPECT_EQ(textColour(sdf->controls().ch1Scales[scaleIndex(TimeScale::Hour)]),
              QColor(128, 128, 128));

    QTest::mouseClick(sync, Qt::LeftButton);
    EXPECT_FALSE(sdf->view().syncChannels);
    EXPECT_EQ(sync->palette().color(QPalette::ButtonText), QColor(128, 128, 128));
    EXPECT_EQ(ordered.tones, (std::vector<Tone>{{1600, 300}, {1600, 150}, {1400, 300}}));
    EXPECT_EQ(sdf->repaintRequestCount(), 1);
}

}  // namespace
}  // namespace tev::testing
