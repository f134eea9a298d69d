#include "core/recordsio/csv_export.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/store/measurement_store.h"

namespace tev::testing {
namespace {

const std::string kBanner = "   < TEV-3P Electricity Monitor System >  Records   \r\n";
const std::string kTimeHeader =
    "Date, Time, KWh, K1, K2, K3, Amp, A1, A2, A3, Watt, W1, W2, W3, Vac1, Vac2, Vac3 \r\n";
const std::string kDayHeader =
    "Date, KWh, K1, K2, K3, Amp, A1, A2, A3, Watt, W1, W2, W3, Vac1, Vac2, Vac3 \r\n";

// Fills row r with values whose texts are easy to write down: quantity column c holds
// base + c + 0.125 (which "0.00" rounds up to .13 and "0" leaves at the integer).
void fillRow(ScaleTable& t, int r, std::int32_t date, std::int32_t time, float base) {
    for (int c = 0; c < kQuantityCount; ++c) t.setValue(c, r, base + c + 0.125f);
    t.setDate(r, date);
    if (t.hasTimeColumn()) t.setTime(r, time);
}

struct CsvExportTest : ::testing::Test {
    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
};

TEST_F(CsvExportTest, MinuteTableWithCountOneGivesTwoDataLinesAndTwoEmptyLines) {
    ScaleTable& min = store->table(TimeScale::Min);
    fillRow(min, 0, 240812, 820, 0);
    fillRow(min, 1, 240812, 821, 100);
    min.cnt = 1;
    // Fields: date, time, KWh K1 K2 K3 (cols 11..14), Amp A1 A2 A3 (3..6), Watt W1 W2 W3
    // (7..10), V1 V2 V3 (0..2).
    const std::string expected = kBanner + "   Minute Records= 1    \r\n" + kTimeHeader +
                                 "240812,13:41,111.13,112.13,113.13,114.13,103.13,104.13,"
                                 "105.13,106.13,107,108,109,110,100,101,102,\r\n"
                                 "240812,13:40,11.13,12.13,13.13,14.13,3.13,4.13,5.13,6.13,"
                                 "7,8,9,10,0,1,2,\r\n"
                                 "\r\n\r\n";
    EXPECT_EQ(exportCsv(min), expected);
}

TEST_F(CsvExportTest, MonthLinesHaveSixteenFieldsAndEnergyKeepsTwoDecimals) {
    ScaleTable& month = store->table(TimeScale::Month);
    fillRow(month, 0, 2407, 0, 0);
    fillRow(month, 1, 2408, 0, -20);
    month.cnt = 1;
    const std::string expected = kBanner + "   Month Records= 1    \r\n" + kDayHeader +
                                 "2408,-8.88,-7.88,-6.88,-5.88,-16.88,-15.88,-14.88,-13.88,"
                                 "-13,-12,-11,-10,-20,-19,-18,\r\n"
                                 "2407,11.13,12.13,13.13,14.13,3.13,4.13,5.13,6.13,"
                                 "7,8,9,10,0,1,2,\r\n"
                                 "\r\n\r\n";
    const std::string csv = exportCsv(month);
    EXPECT_EQ(csv, expected);
    const std::size_t line4 = csv.find("2408,");
    const std::string line = csv.substr(line4, csv.find("\r\n", line4) - line4);
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 16);
    EXPECT_EQ(line.back(), ',');
}

TEST_F(CsvExportTest, TimeOf600IsWrittenAsTenColonZero) {
    ScaleTable& hour = store->table(TimeScale::Hour);
    hour.setDate(0, 240812);
    hour.setTime(0, 600);
    hour.setDate(1, 240812);
    hour.setTime(1, 65);
    hour.cnt = 1;
    const std::string csv = exportCsv(hour);
    EXPECT_NE(csv.find("\r\n240812,1:5,0.00,"), std::string::npos);
    EXPECT_NE(csv.find("\r\n240812,10:0,0.00,"), std::string::npos);
    EXPECT_EQ(csv.substr(kBanner.size(), 24), "   Hour Records= 1    \r\n");
}

TEST_F(CsvExportTest, EmptyTableGivesBannerCountAndHeaderOnly) {
    EXPECT_EQ(exportCsv(store->table(TimeScale::Day)),
              kBanner + "   Day Records= 0    \r\n" + kDayHeader);
    EXPECT_EQ(exportCsv(store->table(TimeScale::M5)),
              kBanner + "   5-Min Records= 0    \r\n" + kTimeHeader);
}

TEST_F(CsvExportTest, EveryScaleHasItsFileNameAndCountLabel) {
    const std::pair<TimeScale, std::pair<const char*, const char*>> expected[] = {
        {TimeScale::Min, {"TEV3P_Records_Minute.csv", "   Minute Records= 7    "}},
        {TimeScale::M5, {"TEV3P_Records_5-Minute.csv", "   5-Min Records= 7    "}},
        {TimeScale::M10, {"TEV3P_Records_10-Minute.csv", "   10-Min Records= 7    "}},
        {TimeScale::Hour, {"TEV3P_Records_Hour.csv", "   Hour Records= 7    "}},
        {TimeScale::Day, {"TEV3P_Records_Day.csv", "   Day Records= 7    "}},
        {TimeScale::Week, {"TEV3P_Records_Week.csv", "   Week Records= 7    "}},
        {TimeScale::Month, {"TEV3P_Records_Month.csv", "   Month Records= 7    "}},
    };
    for (const auto& [scale, texts] : expected) {
        EXPECT_EQ(csvProposedFileName(scale), texts.first);
        EXPECT_EQ(csvCountLine(scale, 7), texts.second);
    }
    EXPECT_EQ(csvProposedFileName(TimeScale::None), "");
}

}  // namespace
}  // namespace tev::testing
