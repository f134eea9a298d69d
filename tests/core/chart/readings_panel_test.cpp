#include "core/chart/readings_panel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/chart/chart_colours.h"
#include "tests/support/recording_canvas.h"

namespace tev::testing {
namespace {

class ReadingsPanel : public ::testing::Test {
  protected:
    LiveReadings live;
    RecordingCanvas canvas;

    // The one text drawn at row y of the value column x, or "" when none.
    std::string valueAt(int x, int y) const {
        const auto found = canvas.textsAt(x, y);
        return found.size() == 1 ? found[0]->text : std::string();
    }
};

TEST_F(ReadingsPanel, PhaseCurrentAboveTheLimitIsDrawnLimitedAndKeptLimited) {
    live.A1 = 1234.5f;
    live.A2 = 55.55f;
    live.A3 = 9.999f;
    paintReadingsPanel(canvas, live, LanguageMode::Bilingual);

    EXPECT_EQ(valueAt(110, 150), "999.9");
    EXPECT_EQ(live.A1, 999.9f);
    EXPECT_EQ(canvas.textsAt(110, 150)[0]->fontSize, 22);
    EXPECT_EQ(canvas.textsAt(110, 150)[0]->pen, (Rgb{255, 140, 0}));
    EXPECT_EQ(valueAt(125, 185), "55.5");
    EXPECT_EQ(valueAt(130, 220), "10.00");
}

TEST_F(ReadingsPanel, PowerAndEnergyBandsAreChosenBeforeRounding) {
    live.W1 = 12345;
    live.W2 = 999;
    live.W3 = 1234567;
    live.K1 = 150;
    live.KWh = 9.999f;
    live.Watt = 123456;
    live.Amp = 9.96f;
    live.WeekKWh = 1500;
    live.MonthKWh = -3;
    paintReadingsPanel(canvas, live, LanguageMode::English);

    EXPECT_EQ(valueAt(115, 270), "12.35");
    EXPECT_EQ(valueAt(130, 305), "1.00");
    EXPECT_EQ(valueAt(85, 340), "1234.57");
    EXPECT_EQ(valueAt(100, 387), "150.00");
    EXPECT_EQ(valueAt(120, 585), "10.00");
    EXPECT_EQ(valueAt(100, 544), "123.5");
    EXPECT_EQ(valueAt(140, 503), "10.0");
    EXPECT_EQ(valueAt(85, 645), "1500.0");
    EXPECT_EQ(valueAt(125, 685), "-3.00");
}

TEST_F(ReadingsPanel, LifetimeEnergyIsLimitedToSixDigits) {
    live.TotalKWh = 2000000;
    paintReadingsPanel(canvas, live, LanguageMode::Bilingual);
    EXPECT_EQ(valueAt(76, 725), "999999.9");
    EXPECT_EQ(live.TotalKWh, 999999.875f);
    EXPECT_EQ(canvas.textsAt(76, 725)[0]->fontSize, 23);

    canvas.clear();
    live.TotalKWh = 12.34f;
    paintReadingsPanel(canvas, live, LanguageMode::Bilingual);
    EXPECT_EQ(valueAt(132, 725), "12.3");
}

TEST_F(ReadingsPanel, RowLabelsAndSeparatorsFollowTheLanguageMode) {
    paintReadingsPanel(canvas, live, LanguageMode::English);
    const auto frame = canvas.rectangles();
    ASSERT_EQ(frame.size(), 1u);
    EXPECT_EQ((std::vector<int>{frame[0]->x0, frame[0]->y0, frame[0]->x1, frame[0]->y1}),
              (std::vector<int>{3, 28, 250, 773}));
    auto labels = canvas.textsIn(kPanelLabelSilver);
    ASSERT_EQ(labels.size(), 18u);
    EXPECT_EQ(labels.front(), "VAC1");
    EXPECT_EQ(canvas.findText("Week  KWh")->y0, 655);
    EXPECT_EQ(canvas.findText("Week  KWh")->fontSize, 10);
    EXPECT_EQ(canvas.findText("TTL KWh")->x0, 10);
    std::vector<int> separators;
    for (const DrawCall* line : canvas.linesIn(kFrameGrey)) {
        EXPECT_EQ(line->x0, 8);
        EXPECT_EQ(line->x1, 242);
        separators.push_back(line->y0);
    }
    EXPECT_EQ(separators, (std::vector<int>{140, 260, 380, 500, 635}));

    canvas.clear();
    paintReadingsPanel(canvas, live, LanguageMode::Bilingual);
    EXPECT_EQ(canvas.findText("Week  本週")->y0, 660);
    EXPECT_EQ(canvas.findText("TTL 統計")->y0, 738);
    EXPECT_EQ(canvas.findText("Watt 總功率")->fontSize, 9);
    EXPECT_EQ(canvas.linesIn(kFrameGrey).size(), 5u);

    canvas.clear();
    paintReadingsPanel(canvas, live, LanguageMode::Chinese);
    EXPECT_TRUE(canvas.textsIn(kPanelLabelSilver).empty());
    EXPECT_TRUE(canvas.ofKind(DrawCall::Kind::Line).empty());
    EXPECT_EQ(canvas.rectangles().size(), 1u);
    // Units and values are drawn in every mode.
    EXPECT_EQ(canvas.textsAt(207, 525).at(0)->text, "Amp");
    EXPECT_EQ(canvas.textsAt(207, 525).at(0)->fontSize, 13);
    EXPECT_EQ(valueAt(120, 33), "0.0");
    EXPECT_EQ(canvas.texts().size(), 18u + 18u);
}

TEST_F(ReadingsPanel, DiagnosticsListTheCountersAndTheLastPress) {
    auto store = std::make_unique<MeasurementStore>();
    auto view = std::make_unique<ViewState>();
    store->table(TimeScale::Min).cnt = 42;
    store->table(TimeScale::Month).cnt = 7;
    store->calendar.WeekDayCnt = 3;
    view->lastClickX = 512;
    view->lastClickY = 140;
    paintDiagnostics(canvas, *store, *view);

    const DrawCall* min = canvas.findText("Min cnt= 42");
    ASSERT_NE(min, nullptr);
    EXPECT_EQ(min->x0, 262);
    EXPECT_EQ(min->y0, 610);
    EXPECT_EQ(min->brush, kWindowColour);
    EXPECT_EQ(canvas.findText("Mon cnt= 7")->y0, 700);
    EXPECT_EQ(canvas.findText("WeekDayCnt= 3")->y0, 735);
    const DrawCall* click = canvas.findText("X= 512   Y= 140");
    ASSERT_NE(click, nullptr);
    EXPECT_EQ(click->x0, 880);
    EXPECT_EQ(click->y0, 602);
    EXPECT_EQ(canvas.texts().size(), 11u);
}

}  // namespace
}  // namespace tev::testing
