#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/chart/chart_colours.h"
#include "tests/core/chart/paint_fixture.h"

namespace tev::testing {
namespace {

using ChartPlot = PaintFixture;

constexpr int kCh1Right = 935;
constexpr int kCh1Bottom = 255;
constexpr int kNewestX = 929;

std::vector<std::string> labelsFrom(double step, int count, int decimals) {
    std::vector<std::string> labels;
    for (int i = 1; i <= count; ++i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.*f", decimals, i * step);
        labels.push_back(buf);
    }
    return labels;
}

TEST_F(ChartPlot, EmptyTableDrawsOnePointAtTheNewestColumnWithFullStep) {
    show(1, Quantity::V1, TimeScale::Min, 100);
    paintChannel(1);

    EXPECT_EQ(ch1().span, 0);
    EXPECT_EQ(ch1().xStep, 30.0f);
    const auto lines = canvas.polylines();
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0]->points.size(), 1u);
    EXPECT_EQ(lines[0]->points[0], (Point{kNewestX, kCh1Bottom - 5}));
    const auto markers = canvas.rectanglesFilled(kMarkerFill);
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0]->pen, kWhite);
    EXPECT_EQ((std::vector<int>{markers[0]->x0, markers[0]->y0, markers[0]->x1, markers[0]->y1}),
              (std::vector<int>{927, 248, 931, 252}));
}

TEST_F(ChartPlot, AllZeroValuesDrawNoGridZeroTopTextsAndNoNewestValue) {
    fillColumn(TimeScale::Min, kColV1, {0, 0, 0, 0});
    show(1, Quantity::V1, TimeScale::Min, 3);
    paintChannel(1);

    EXPECT_EQ(ch1().yScale, 0.0f);
    EXPECT_TRUE(canvas.linesIn(kGridLineColour).empty());
    EXPECT_TRUE(canvas.textsIn(kWhite).empty());
    EXPECT_EQ(canvas.textsAt(938, 43).at(0)->text, "0.0");
    EXPECT_EQ(canvas.textsAt(938, 245).at(0)->text, "0.00");
    EXPECT_EQ(canvas.textsAt(938, 30).at(0)->text, "VAC");
    for (const Point& p : canvas.polylines().at(0)->points) EXPECT_EQ(p.y, kCh1Bottom - 5);

    canvas.clear();
    show(1, Quantity::Amp, TimeScale::Min, 3);
    paintChannel(1);
    EXPECT_EQ(canvas.textsAt(938, 43).at(0)->text, "0.00");
    EXPECT_EQ(canvas.textsAt(955, 30).at(0)->text, "A");
}

TEST_F(ChartPlot, GridBandsSwitchExactlyAtTheirEdges) {
    show(1, Quantity::KWh, TimeScale::Min, 1);
    auto gridFor = [&](float top) {
        canvas.clear();
        fillColumn(TimeScale::Min, kColKWh, {0, top});
        paintChannel(1);
        return canvas.textsIn(kGridLabelColour);
    };
    EXPECT_EQ(gridFor(600), labelsFrom(50, 11, 1));
    EXPECT_EQ(canvas.linesIn(kGridLineColour).size(), 11u);
    EXPECT_TRUE(gridFor(650).empty());
    EXPECT_TRUE(gridFor(601).empty());
    EXPECT_EQ(gridFor(651), labelsFrom(100, 6, 1));
    EXPECT_EQ(gridFor(2000), labelsFrom(100, 19, 1));
    EXPECT_TRUE(gridFor(2001).empty());
    EXPECT_EQ(gridFor(2), labelsFrom(0.2, 9, 2));
    EXPECT_EQ(gridFor(0.5f), (std::vector<std::string>{"0.20", "0.40"}));

    // Value 300 of a 600 top sits at 250 - 97.5, its label 8 pixels higher.
    gridFor(600);
    const DrawCall* label = canvas.findText("300.0");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->x0, kCh1Right + 3);
    EXPECT_EQ(label->y0, 152 - 8);
}

TEST_F(ChartPlot, VoltagesAroundMainsGiveStepTwentyWithElevenLabels) {
    fillColumn(TimeScale::Min, kColV1, {229.5f, 230.2f, 231.0f, 230.7f});
    show(1, Quantity::V1, TimeScale::Min, 100);
    paintChannel(1);

    EXPECT_EQ(canvas.textsIn(kGridLabelColour), labelsFrom(20, 11, 2));
    EXPECT_EQ(canvas.textsAt(938, 43).at(0)->text, "231.0");
}

TEST_F(ChartPlot, SpanLargerThanTableIsClampedWhileTheRememberedSpanStays) {
    ScaleTable& t = store->table(TimeScale::Min);
    t.cnt = 40;
    show(1, Quantity::V1, TimeScale::Min, 100);
    paintChannel(1);

    EXPECT_EQ(ch1().rowCount, 40);
    EXPECT_EQ(ch1().span, 40);
    EXPECT_EQ(ch1().spanPerScale[scaleIndex(TimeScale::Min)], 100);
    EXPECT_FLOAT_EQ(ch1().xStep, 665.0f / 40);
    EXPECT_EQ(canvas.polylines().at(0)->points.size(), 41u);
    EXPECT_EQ(canvas.polylines().at(0)->points.back().x, 264);
}

TEST_F(ChartPlot, Ch1OnLongScalesWorksFromEnergyWhileCh2ShowsStoredColumns) {
    fillColumn(TimeScale::Week, kColKWh, {70, 140, 210});
    fillColumn(TimeScale::Week, kColWatt, {5000, 5000, 5000});
    show(1, Quantity::Watt, TimeScale::Week, 10);
    show(2, Quantity::Watt, TimeScale::Week, 10);
    paintChannel(1);
    paintChannel(2);
    EXPECT_FLOAT_EQ(ch1().values[0], 30.0f);
    EXPECT_FLOAT_EQ(ch1().values[2], 10.0f);
    EXPECT_FLOAT_EQ(ch2().values[0], 5.0f);

    fillColumn(TimeScale::Day, kColK2, {52.8f});
    fillColumn(TimeScale::Day, kColA2, {3.5f});
    show(1, Quantity::A2, TimeScale::Day, 10);
    show(2, Quantity::A2, TimeScale::Day, 10);
    paintChannel(1);
    paintChannel(2);
    EXPECT_FLOAT_EQ(ch1().values[0], 10.0f);
    EXPECT_FLOAT_EQ(ch2().values[0], 3.5f);

    // On the short scales both channels show the stored power in kilowatts.
    fillColumn(TimeScale::Hour, kColW3, {2500});
    show(1, Quantity::W3, TimeScale::Hour, 10);
    paintChannel(1);
    EXPECT_FLOAT_EQ(ch1().values[0], 2.5f);
}

TEST_F(ChartPlot, HourLinesSkipMidnightWhileTheDayChangeLineMarksIt) {
    ScaleTable& t = store->table(TimeScale::Hour);
    const int times[] = {22 * 60, 23 * 60, 0, 60, 120};
    const int dates[] = {240801, 240801, 240802, 240802, 240802};
    for (int row = 0; row < 5; ++row) {
        t.setTime(row, times[row]);
        t.setDate(row, dates[row]);
        t.setValue(kColV1, row, 230);
    }
    t.cnt = 4;
    show(1, Quantity::V1, TimeScale::Hour, 10);
    paintChannel(1);

    std::vector<int> hourXs;
    for (const DrawCall* line : canvas.linesIn(kHourAndPointLine)) {
        hourXs.push_back(line->x0);
        EXPECT_EQ(line->y0, 51);
        EXPECT_EQ(line->y1, 254);
    }
    EXPECT_EQ(hourXs, (std::vector<int>{929, 899, 839, 809}));
    EXPECT_EQ(canvas.textsIn(kTimeLabelColour), (std::vector<std::string>{"2", "1", "23", "22"}));
    EXPECT_EQ(canvas.textsAt(832, 256).at(0)->text, "23");

    const auto change = canvas.linesIn(kDayChangeColour);
    ASSERT_EQ(change.size(), 1u);
    EXPECT_EQ(change[0]->x0, 869);
    EXPECT_EQ(change[0]->x1, 869);
    const auto dayLabel = canvas.textsAt(871, 237);
    ASSERT_EQ(dayLabel.size(), 1u);
    EXPECT_EQ(dayLabel[0]->text, "2");
    EXPECT_EQ(dayLabel[0]->pen, kDayChangeColour);

    // The finer scales draw their hour lines in blue.
    ScaleTable& m = store->table(TimeScale::Min);
    for (int row = 0; row < 3; ++row) {
        m.setTime(row, 59 + row);
        m.setDate(row, 240802);
    }
    m.cnt = 2;
    canvas.clear();
    show(1, Quantity::V1, TimeScale::Min, 10);
    paintChannel(1);
    ASSERT_EQ(canvas.linesIn(kShortScaleHourLine).size(), 1u);
    EXPECT_EQ(canvas.linesIn(kShortScaleHourLine)[0]->x0, 899);
    EXPECT_TRUE(canvas.linesIn(kDayChangeColour).empty());
}

TEST_F(ChartPlot, CursorReadsTheDateAndTimeOfThePointUnderIt) {
    ScaleTable& t = store->table(TimeScale::Min);
    for (int row = 0; row < 3; ++row) {
        t.setTime(row, 8 * 60 + 3 + row);
        t.setDate(row, 240802);
        t.setValue(kColV1, row, 100.0f + 65 * row);
    }
    t.cnt = 2;
    show(1, Quantity::V1, TimeScale::Min, 10);
    ch1().cursorOn = true;
    ch1().cursorX = kNewestX;
    paintChannel(1);

    EXPECT_EQ(ch1().cursorIndex, 0);
    const auto readout = canvas.textsAt(263, 70);
    ASSERT_EQ(readout.size(), 1u);
    EXPECT_EQ(readout[0]->text, "240802 8:5");
    EXPECT_EQ(readout[0]->pen, kCursorColour);
    EXPECT_EQ(canvas.findText("游標 ON")->x0, 780);
    EXPECT_TRUE(canvas.hasText("230.00"));
    const auto cursorLines = canvas.linesIn(kCursorColour);
    ASSERT_EQ(cursorLines.size(), 2u);
    EXPECT_EQ((std::vector<int>{cursorLines[0]->x0, cursorLines[0]->y0, cursorLines[0]->y1}),
              (std::vector<int>{kNewestX, 51, 254}));
    EXPECT_EQ(cursorLines[1]->x0, 262);
    EXPECT_EQ(cursorLines[1]->x1, 933);

    canvas.clear();
    ch1().cursorX = 899;
    paintChannel(1, LanguageMode::English);
    EXPECT_EQ(ch1().cursorIndex, 1);
    EXPECT_EQ(canvas.textsAt(263, 70).at(0)->text, "240802 8:4");
    EXPECT_TRUE(canvas.hasText("Arrow ON"));

    // Far left of the plot the index stops at the oldest row, not at the span.
    canvas.clear();
    ch1().span = 1;
    ch1().cursorX = 0;
    paintChannel(1, LanguageMode::Chinese);
    EXPECT_EQ(ch1().cursorIndex, 2);
    EXPECT_EQ(canvas.textsAt(263, 70).at(0)->text, "240802 8:3");
    EXPECT_FALSE(canvas.hasText("Arrow ON"));
    EXPECT_FALSE(canvas.hasText("游標 ON"));
}

TEST_F(ChartPlot, CursorOnLongScalesReadsTheDateAlone) {
    ScaleTable& t = store->table(TimeScale::Day);
    t.setDate(0, 240801);
    t.setDate(1, 240802);
    t.cnt = 1;
    ch1().minutes[0] = 485;  // left from an earlier paint on a finer scale
    show(1, Quantity::KWh, TimeScale::Day, 10);
    ch1().cursorOn = true;
    ch1().cursorX = kNewestX;
    paintChannel(1);
    EXPECT_EQ(canvas.textsAt(263, 70).at(0)->text, "240802");
}

TEST_F(ChartPlot, ChannelShowingNoneDrawsItsPanelAndNothingElse) {
    ScaleTable& t = store->table(TimeScale::Hour);
    t.setDate(0, 240801);
    t.setDate(1, 240802);
    t.setDate(2, 240803);
    t.cnt = 2;
    ch2().rowCount = 1;  // from the last paint that had a quantity
    ch2().title = "Nothing";
    ch2().cursorOn = true;
    ch2().cursorIndex = 7;
    paintChannel(2);

    EXPECT_EQ(canvas.rectangles().size(), 2u);
    EXPECT_TRUE(canvas.ofKind(DrawCall::Kind::Line).empty());
    EXPECT_TRUE(canvas.polylines().empty());
    EXPECT_EQ(canvas.textsAt(260, 284).at(0)->text, "Nothing");
    EXPECT_EQ(canvas.texts().size(), 2u);  // the title and the cursor mark
    EXPECT_EQ(ch2().cursorIndex, 7);
    EXPECT_EQ(ch2().rowCount, 1);
    EXPECT_EQ(ch2().dates[0], 240802);
    EXPECT_EQ(ch2().dates[1], 240801);
}

TEST_F(ChartPlot, LongScalesDrawBarsAndPointLines) {
    ScaleTable& t = store->table(TimeScale::Week);
    t.setValue(kColKWh, 0, 10);
    t.setValue(kColKWh, 1, 20);
    t.setDate(0, 240729);
    t.setDate(1, 240805);
    t.cnt = 1;
    show(2, Quantity::KWh, TimeScale::Week, 10);
    paintChannel(2);

    const auto bars = canvas.rectanglesFilled(kWeekBarFill);
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0]->pen, kBarPen);
    EXPECT_EQ((std::vector<int>{bars[0]->x0, bars[0]->y0, bars[0]->x1, bars[0]->y1}),
              (std::vector<int>{920, 307, 933, 577}));
    EXPECT_EQ((std::vector<int>{bars[1]->x0, bars[1]->y0, bars[1]->x1, bars[1]->y1}),
              (std::vector<int>{890, 441, 903, 577}));
    EXPECT_EQ(canvas.linesIn(kHourAndPointLine).size(), 2u);
    EXPECT_EQ(canvas.textsIn(kTimeLabelColour), (std::vector<std::string>{"5", "29"}));
    EXPECT_TRUE(canvas.polylines().empty());
}

TEST_F(ChartPlot, ValueTextsShowTheSmoothedReadingAndThePositiveNewestValue) {
    fillColumn(TimeScale::Min, kColV1, {0, 130});  // 1.5 pixels per volt
    store->live.SmoothV1 = 231.456f;
    show(1, Quantity::V1, TimeScale::Min, 10);
    paintChannel(1);
    EXPECT_EQ(canvas.textsAt(264, 51).at(0)->text, "231.46");
    const auto newest = canvas.textsIn(kWhite);
    ASSERT_EQ(newest.size(), 1u);
    EXPECT_EQ(newest[0], "130.00");
    EXPECT_EQ(canvas.findText("130.00")->y0, 49);

    canvas.clear();
    store->live.SmoothWatt = 1500;
    show(1, Quantity::Watt, TimeScale::Min, 10);
    paintChannel(1);
    EXPECT_EQ(canvas.textsAt(264, 51).at(0)->text, "1.50 KW");

    canvas.clear();
    show(1, Quantity::K1, TimeScale::Min, 10);
    paintChannel(1);
    EXPECT_TRUE(canvas.textsAt(264, 51).empty());
}

TEST_F(ChartPlot, DamagedRecordsDrawAsZeroAndACountBeyondTheTableIsHeld) {
    ScaleTable& t = store->table(TimeScale::Min);
    t.setValue(kColV1, 0, std::numeric_limits<float>::quiet_NaN());
    t.setValue(kColV1, 1, std::numeric_limits<float>::infinity());
    t.cnt = 1;
    show(1, Quantity::V1, TimeScale::Min, 10);
    paintChannel(1);
    EXPECT_EQ(ch1().values[0], 0.0f);
    EXPECT_EQ(ch1().values[1], 0.0f);

    t.cnt = 50000;
    show(1, Quantity::V1, TimeScale::Min, 50000);
    paintChannel(1);
    EXPECT_EQ(ch1().rowCount, kDisplayBufferSize - 1);

    // A None channel keeps a row count that the Month table cannot hold.
    show(1, Quantity::None, TimeScale::Month, 10);
    paintChannel(1);
    EXPECT_EQ(ch1().rowCount, kDisplayBufferSize - 1);
}

}  // namespace
}  // namespace tev::testing
