#include <gtest/gtest.h>

#include <sstream>

#include "services/archive/rules/day_file_import.h"
#include "services/archive/rules/local_time.h"
#include "services/archive/rules/retention.h"
#include "services/archive/rules/series.h"
#include "tests/services/archive/rules/zone.h"

namespace tev::archive {
namespace {

class LocalTime : public ::testing::Test {
  protected:
    void SetUp() override { testing::useCentralEuropeanTime(); }
};

TEST_F(LocalTime, IsoTimesReadWithAndWithoutOffsetAndWriteWithTheZonesOffset) {
    EXPECT_EQ(parseIsoTime("1970-01-01T00:00:00Z"), 0);
    EXPECT_EQ(parseIsoTime("2026-12-08T10:00:00Z"), 1796724000);
    EXPECT_EQ(parseIsoTime("2026-12-08T11:00+01:00"), 1796724000);
    EXPECT_EQ(parseIsoTime("2026-12-08T11:00"), 1796724000);  // local, winter
    EXPECT_EQ(parseIsoTime("2026-12-08"), 1796724000 - 11 * 3600);
    EXPECT_EQ(isoLocal(1796724000), "2026-12-08T11:00:00+01:00");
    EXPECT_EQ(isoLocal(*parseIsoTime("2026-07-01T12:30:05Z")), "2026-07-01T14:30:05+02:00");
    for (const char* bad :
         {"", "2026-13-01", "2026-02-30", "2026-12-08T25:00", "2026-12-08T10", "2026-12-08T10:00+1",
          "2026-12-08x", "yesterday", "2026-12-08T10:00:00+01:00x"})
        EXPECT_FALSE(parseIsoTime(bad).has_value()) << bad;
}

TEST_F(LocalTime, HoursAndDaysStartAtLocalBoundariesAlsoOnSummerTimeDays) {
    const std::int64_t t = *parseIsoTime("2026-03-29T12:34:56");  // clocks went forward at 2:00
    EXPECT_EQ(localHourStart(t), *parseIsoTime("2026-03-29T12:00:00"));
    EXPECT_EQ(localDayStart(t), *parseIsoTime("2026-03-28T23:00:00Z"));
    EXPECT_EQ(t - localDayStart(t), (12 - 1) * 3600 + 34 * 60 + 56);  // a 23-hour day
    EXPECT_EQ(minuteStart(t), t - 56);
    EXPECT_EQ(localMidnightOfMeterDate(260131), *parseIsoTime("2026-01-31"));
    EXPECT_FALSE(localMidnightOfMeterDate(260230).has_value());
    EXPECT_FALSE(localMidnightOfMeterDate(0).has_value());
}

TEST(ArchiveSettingsText, ReadsTheArchiveKeysAndKeepsDefaultsForBadValues) {
    std::vector<std::string> problems;
    ArchiveSettings s = archiveSettingsFrom({}, problems);
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.minuteDays, 35);
    EXPECT_EQ(s.hourDays, 3650);
    s = archiveSettingsFrom({{"enabled", "false"}, {"minute_days", "7"}, {"hour_days", "x"}},
                            problems);
    EXPECT_FALSE(s.enabled);
    EXPECT_EQ(s.minuteDays, 7);
    EXPECT_EQ(s.hourDays, 3650);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("hour_days=x"), std::string::npos);
    const RetentionCutoffs c = retentionCutoffs(1'000'000'000, s);
    EXPECT_EQ(c.minute, 1'000'000'000 - 7 * 86400);
    EXPECT_EQ(c.hour, 1'000'000'000 - 3650LL * 86400);
}

std::string dayLine(int date, std::vector<std::pair<int, double>> slots) {
    std::vector<double> v(144, 0.0);
    for (auto [i, e] : slots) v[i] = e;
    std::ostringstream line;
    line << date << ",9.99,";
    for (double e : v) line << e << ",";
    line << "\r";
    return line.str();
}

TEST_F(LocalTime, DayFileLinesGiveTenMinuteEnergiesOfTheSlotsWithMessages) {
    const std::string file = dayLine(260131, {{0, 0.1}, {1, 0.25}, {6, 0.75}, {143, 9.5}}) +
                             "garbage line\r" + dayLine(260201, {{3, 0.4}});
    const auto rows = tenMinuteRowsOfDayFile(file);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].start, *parseIsoTime("2026-01-31T00:00"));
    EXPECT_NEAR(rows[0].energy, 0.1, 1e-9);
    EXPECT_EQ(rows[1].start, *parseIsoTime("2026-01-31T00:10"));
    EXPECT_NEAR(rows[1].energy, 0.15, 1e-9);
    EXPECT_EQ(rows[2].start, *parseIsoTime("2026-01-31T01:00"));
    EXPECT_NEAR(rows[2].energy, 0.5, 1e-9);  // the silent slots between give nothing
    EXPECT_EQ(rows[3].start, *parseIsoTime("2026-01-31T23:50"));
    EXPECT_NEAR(rows[3].dayEnergy, 9.5, 1e-9);
    EXPECT_EQ(rows[4].start, *parseIsoTime("2026-02-01T00:30"));
    EXPECT_NEAR(rows[4].energy, 0.4, 1e-9);
    EXPECT_TRUE(tenMinuteRowsOfDayLine("260131,1,2,3,").empty());  // too few slots
    EXPECT_TRUE(tenMinuteRowsOfDayLine(dayLine(261399, {{0, 1}})).empty());
}

TEST(TidyCsv, HasOneHeaderWithUnitsLocalIsoTimesAndNoTrailingComma) {
    setenv("TZ", "UTC0", 1);
    tzset();
    ArchiveSeries s;
    s.meter = "A1B2\"C";
    s.resolution = Resolution::Minute;
    s.quantities = {findQuantity("V1"), findQuantity("Watt"), findQuantity("Energy")};
    s.time = {60, 120};
    s.values = {{230.5, 231.0}, {1000.25, 0.0}, {0.1, 1.0 / 3.0}};
    std::ostringstream csv, json;
    writeTidyCsv(s, csv);
    EXPECT_EQ(csv.str(),
              "time,V1_V,Watt_W,Energy_kWh\n"
              "1970-01-01T00:01:00+00:00,230.5,1000.25,0.1\n"
              "1970-01-01T00:02:00+00:00,231,0,0.3333333\n");
    writeSeriesJson(s, json);
    EXPECT_EQ(json.str(),
              "{\"meter\":\"A1B2\\\"C\",\"resolution\":\"minute\",\"time\":[60,120],"
              "\"V1\":[230.5,231],\"Watt\":[1000.25,0],\"Energy\":[0.1,0.3333333]}\n");
    EXPECT_EQ(findQuantity("V9"), nullptr);
    Resolution r{};
    EXPECT_TRUE(parseResolution("day", r));
    EXPECT_EQ(r, Resolution::Day);
    EXPECT_FALSE(parseResolution("week", r));
}

}  // namespace
}  // namespace tev::archive
