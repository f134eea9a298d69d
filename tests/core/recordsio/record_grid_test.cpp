#include "core/recordsio/record_grid.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/store/measurement_store.h"

namespace tev::testing {
namespace {

struct GridTest : ::testing::Test {
    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();

    ScaleTable& table(TimeScale s) { return store->table(s); }

    static void row(ScaleTable& t, int r, std::int32_t date, std::int32_t time, float kwh) {
        t.setDate(r, date);
        if (t.hasTimeColumn()) t.setTime(r, time);
        t.setValue(kColKWh, r, kwh);
    }
};

TEST_F(GridTest, HeaderRowHoldsTheTextsWithTheirTrailingBlanksAndTheCornerStaysEmpty) {
    const RecordGrid before;
    EXPECT_EQ(before.rowCount(), 30200);
    const char* expected[] = {"",    "Date", "Time", "KWh ",  "K1 ",   "K2 ",
                              "K3 ", "Amp ", "A1 ",  "A2 ",   "A3 ",   "Watt ",
                              "W1 ", "W2 ",  "W3 ",  "Vac1 ", "Vac2 ", "Vac3 "};
    for (int c = 0; c < RecordGrid::kColumns; ++c) EXPECT_EQ(before.cell(0, c), expected[c]);
    EXPECT_EQ(before.cell(1, 1), "");
}

TEST_F(GridTest, HourWithCountOneListsTheLiveRowThenRowZero) {
    ScaleTable& hour = table(TimeScale::Hour);
    row(hour, 0, 240802, 540, 1.5f);
    row(hour, 1, 240802, 600, 2.25f);
    hour.cnt = 1;
    const RecordGrid grid(hour);
    EXPECT_EQ(grid.cell(0, 0), "2");
    EXPECT_EQ(grid.cell(1, 0), "1");
    EXPECT_EQ(grid.cell(1, 2), "10:0");
    EXPECT_EQ(grid.cell(1, 3), "2.25");
    EXPECT_EQ(grid.cell(2, 0), "2");
    EXPECT_EQ(grid.cell(2, 2), "9:0");
    EXPECT_EQ(grid.cell(3, 0), "");
    EXPECT_EQ(grid.rowCount(), 3 + 5);
}

TEST_F(GridTest, MinuteRowsOverMidnightGetOneSeparatorRowAndUnbrokenNumbers) {
    ScaleTable& min = table(TimeScale::Min);
    row(min, 0, 240801, 1438, 1);
    row(min, 1, 240801, 1439, 2);
    row(min, 2, 240802, 0, 3);
    row(min, 3, 240802, 1, 4);
    row(min, 4, 240802, 65, 5);
    min.cnt = 4;
    const RecordGrid grid(min);
    const std::vector<std::vector<std::string>> expected = {
        {"1", "240802", "1:5"}, {"2", "240802", "0:1"},   {"3", "240802", "0:0"},
        {"", "", ""},           {"4", "240801", "23:59"}, {"5", "240801", "23:58"}};
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(grid.cell(r + 1, c), expected[r][c]) << r << c;
    EXPECT_EQ(grid.rowCount(), 7 + 5);
    EXPECT_EQ(grid.gridRowOfRecord(4), 5);

    min.setDate(2, 240803);  // 240802, 240803, 240802: only decreases count
    const RecordGrid later(min);
    EXPECT_EQ(later.gridRowOfRecord(3), 3);
    EXPECT_EQ(later.gridRowOfRecord(4), 5);
}

TEST_F(GridTest, TimeShowsHoursAndMinutesWithoutLeadingZeros) {
    ScaleTable& m10 = table(TimeScale::M10);
    row(m10, 0, 240802, 1440, 0);
    row(m10, 1, 240802, 0, 0);
    row(m10, 2, 240802, 65, 0);
    m10.cnt = 2;
    const RecordGrid grid(m10);
    EXPECT_EQ(grid.cell(1, 2), "1:5");
    EXPECT_EQ(grid.cell(2, 2), "0:0");
    EXPECT_EQ(grid.cell(3, 2), "24:0");
}

TEST_F(GridTest, WeekAndMonthShowEnergyWithOneDecimalAndNoTime) {
    for (TimeScale s : {TimeScale::Week, TimeScale::Month}) {
        ScaleTable& t = table(s);
        const std::int32_t date = s == TimeScale::Month ? 2408 : 240804;
        t.setDate(0, date);
        t.setValue(kColKWh, 0, 12.25f);
        t.setValue(kColK1, 0, -0.04f);
        t.setValue(kColAmp, 0, 1.005f);
        t.setValue(kColA3, 0, 3.125f);
        t.setValue(kColWatt, 0, 1170.5f);
        t.setValue(kColW3, 0, -2.5f);
        t.setValue(kColV1, 0, 229.5f);
        t.setValue(kColV3, 0, 231.49f);
        t.cnt = 1;
        const RecordGrid grid(t);
        EXPECT_EQ(grid.cell(2, 1), std::to_string(date));
        EXPECT_EQ(grid.cell(2, 2), "");
        EXPECT_EQ(grid.cell(2, 3), "12.3");
        EXPECT_EQ(grid.cell(2, 4), "0.0");  // rounds to zero: no sign
        EXPECT_EQ(grid.cell(2, 10), "3.13");
        EXPECT_EQ(grid.cell(2, 11), "1171");
        EXPECT_EQ(grid.cell(2, 14), "-3");
        EXPECT_EQ(grid.cell(2, 15), "230");
        EXPECT_EQ(grid.cell(2, 17), "231");
        EXPECT_EQ(grid.rowCount(), s == TimeScale::Month ? 2010 : 3010);
    }
    ScaleTable& day = table(TimeScale::Day);
    day.setValue(kColKWh, 0, 12.25f);
    day.cnt = 1;
    EXPECT_EQ(RecordGrid(day).cell(2, 3), "12.25");
    EXPECT_EQ(RecordGrid(day).rowCount(), 4010);
}

TEST_F(GridTest, MonthAfterAFullMinuteGridHasOnly2010RowsAndNothingOfTheMinutes) {
    ScaleTable& min = table(TimeScale::Min);
    for (int r = 0; r < 8000; ++r) row(min, r, 240801 + r / 1440, r % 1440, 1);
    min.cnt = 7999;
    const RecordGrid minutes(min);
    EXPECT_EQ(minutes.rowCount(), 1 + 8000 + 5 + 5);  // 8000 records, 5 day separators
    EXPECT_EQ(minutes.cell(8005, 0), "8000");

    ScaleTable& month = table(TimeScale::Month);
    row(month, 0, 2408, 0, 3);
    row(month, 1, 2409, 0, 4);
    month.cnt = 1;
    const RecordGrid months(month);
    EXPECT_EQ(months.rowCount(), 2010);
    EXPECT_EQ(months.cell(2, 1), "2408");
    EXPECT_EQ(months.cell(3, 0), "");
    EXPECT_EQ(months.cell(2009, 1), "");
}

TEST_F(GridTest, EmptyTableShowsOneInTheCornerAndOnlyEmptyRows) {
    const RecordGrid grid(table(TimeScale::M5));
    EXPECT_EQ(grid.cell(0, 0), "1");
    EXPECT_EQ(grid.rowCount(), 8010);
    EXPECT_EQ(grid.recordCount(), 0);
    EXPECT_EQ(grid.cell(1, 0), "");
}

TEST_F(GridTest, GridKeepsTheRowsAsTheyStoodAtTheRefresh) {
    ScaleTable& min = table(TimeScale::Min);
    row(min, 0, 240801, 10, 1.0f);
    row(min, 1, 240801, 11, 2.0f);
    min.cnt = 1;
    const RecordGrid grid(min);
    min.setValue(kColKWh, 1, 9.0f);
    min.cnt = 2;
    EXPECT_EQ(grid.cell(0, 0), "2");
    EXPECT_EQ(grid.cell(1, 3), "2.00");
}

TEST_F(GridTest, CountBeyondTheTableIsReadOnlyAsFarAsTheTableGoes) {
    ScaleTable& week = table(TimeScale::Week);
    week.cnt = 100000;
    const RecordGrid grid(week);
    EXPECT_EQ(grid.recordCount(), week.rowSlots());
    EXPECT_GE(grid.rowCount(), week.rowSlots() + 1);
}

}  // namespace
}  // namespace tev::testing
