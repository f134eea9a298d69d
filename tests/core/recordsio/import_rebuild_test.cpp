#include "core/recordsio/import_rebuild.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/recordsio/csv_import.h"
#include "tests/core/recordsio/ten_minute_csv.h"

namespace tev::testing {
namespace {

// Samples of whole days as the parser gives them: minutes 10 … 1430, then the "0:0" column
// at 1440. The 23:50 value of day d is d x 10.
std::vector<ImportSample> days(const std::vector<std::int32_t>& dates) {
    std::vector<ImportSample> s;
    for (std::size_t d = 0; d < dates.size(); ++d) {
        for (int k = 2; k <= 144; ++k) {
            const float v = k == 144 ? static_cast<float>((d + 1) * 10) : 0.5f;
            s.push_back({dates[d], (k - 1) * 10, v});
        }
        s.push_back({dates[d], 1440, 0.25f});
    }
    return s;
}

std::unique_ptr<MeasurementStore> storeFullOfOldRows() {
    auto store = std::make_unique<MeasurementStore>();
    for (int i = 0; i < kScaleCount; ++i) {
        ScaleTable& t = store->tableAt(i);
        for (int c = 0; c < t.columns(); ++c)
            for (int r = 0; r < t.rowSlots(); ++r) t.raw(c, r) = 0x41200000u;  // 10.0f
        t.cnt = 500;
    }
    return store;
}

TEST(ImportRebuildTest, TenDaysGiveOneWholeWeekAndALiveWeekRow) {
    std::vector<std::int32_t> dates;
    for (int d = 1; d <= 10; ++d) dates.push_back(240800 + d);
    auto store = storeFullOfOldRows();
    rebuildFromSamples(*store, days(dates));

    EXPECT_EQ(store->table(TimeScale::Min).cnt, 0);
    EXPECT_EQ(store->table(TimeScale::M5).cnt, 0);
    EXPECT_EQ(store->table(TimeScale::Min).raw(kColV1, 7999), 0u);
    EXPECT_EQ(store->table(TimeScale::Min).raw(kColV1, 8000), 0x41200000u);  // beyond the file

    const ScaleTable& m10 = store->table(TimeScale::M10);
    EXPECT_EQ(m10.cnt, 1440);
    EXPECT_EQ(m10.date(0), 240801);
    EXPECT_EQ(m10.time(0), 10);
    EXPECT_EQ(m10.time(143), 1440);
    EXPECT_EQ(m10.value(kColKWh, 142), 10.0f);
    EXPECT_EQ(m10.raw(kColV1, 0), 0u);
    EXPECT_EQ(m10.raw(kColKWh, 1440), 0u);  // the live row is empty

    const ScaleTable& hour = store->table(TimeScale::Hour);
    EXPECT_EQ(hour.cnt, 240);
    EXPECT_EQ(hour.time(0), 60);
    EXPECT_EQ(hour.time(23), 1440);
    EXPECT_EQ(hour.date(24), 240802);

    const ScaleTable& day = store->table(TimeScale::Day);
    EXPECT_EQ(day.cnt, 10);
    EXPECT_EQ(day.date(9), 240810);
    EXPECT_EQ(day.value(kColKWh, 9), 100.0f);

    const ScaleTable& week = store->table(TimeScale::Week);
    EXPECT_EQ(week.cnt, 1);
    EXPECT_EQ(week.date(0), 240807);
    EXPECT_EQ(week.value(kColKWh, 0), 280.0f);  // 10 + 20 + … + 70
    EXPECT_EQ(week.date(1), 240810);
    EXPECT_EQ(week.value(kColKWh, 1), 270.0f);  // 80 + 90 + 100
    EXPECT_EQ(week.raw(kColAmp, 1), 0u);

    const ScaleTable& month = store->table(TimeScale::Month);
    EXPECT_EQ(month.cnt, 1);
    EXPECT_EQ(month.date(0), 2408);
    EXPECT_EQ(month.value(kColKWh, 0), 550.0f);
}

TEST(ImportRebuildTest, MonthEndSplitsTheMonthTable) {
    auto store = std::make_unique<MeasurementStore>();
    rebuildFromSamples(*store, days({240830, 240831, 240901}));
    const ScaleTable& month = store->table(TimeScale::Month);
    EXPECT_EQ(month.cnt, 1);
    EXPECT_EQ(month.date(0), 2408);
    EXPECT_EQ(month.value(kColKWh, 0), 30.0f);
    EXPECT_EQ(month.date(1), 2409);
    EXPECT_EQ(month.value(kColKWh, 1), 30.0f);
}

TEST(ImportRebuildTest, DayOf2019ReachesOnlyTheTenMinuteTable) {
    auto store = std::make_unique<MeasurementStore>();
    rebuildFromSamples(*store, days({191231}));
    EXPECT_EQ(store->table(TimeScale::M10).cnt, 144);
    EXPECT_EQ(store->table(TimeScale::Hour).cnt, 0);
    EXPECT_EQ(store->table(TimeScale::Day).cnt, 1);
    EXPECT_EQ(store->table(TimeScale::Day).date(0), 0);
    EXPECT_EQ(store->table(TimeScale::Week).cnt, 1);
    EXPECT_EQ(store->table(TimeScale::Month).cnt, 1);
}

TEST(ImportRebuildTest, NoSamplesLeaveOneEmptyRowInDayWeekAndMonth) {
    auto store = storeFullOfOldRows();
    rebuildFromSamples(*store, {});
    EXPECT_EQ(store->table(TimeScale::M10).cnt, 0);
    EXPECT_EQ(store->table(TimeScale::Hour).cnt, 0);
    for (TimeScale s : {TimeScale::Day, TimeScale::Week, TimeScale::Month}) {
        const ScaleTable& t = store->table(s);
        EXPECT_EQ(t.cnt, 1);
        EXPECT_EQ(t.raw(kColKWh, 0), 0u);
        EXPECT_EQ(t.date(0), 0);
        EXPECT_EQ(t.raw(kColV3, 1), 0u);
    }
}

TEST(ImportRebuildTest, LongImportsKeepTheNewestRowsWithTheLiveRowInsideTheRecordsFile) {
    std::vector<std::int32_t> dates;
    for (int d = 0; d < 312; ++d) dates.push_back(230101 + d);
    const std::vector<ImportSample> samples = days(dates);  // 44,928 samples, 7,488 hours
    auto store = std::make_unique<MeasurementStore>();
    rebuildFromSamples(*store, samples);

    const ScaleTable& m10 = store->table(TimeScale::M10);
    EXPECT_EQ(m10.cnt, 7999);
    EXPECT_EQ(m10.date(7998), samples.back().date);
    EXPECT_EQ(m10.time(7998), 1440);
    EXPECT_EQ(m10.date(0), samples[samples.size() - 7999].date);
    EXPECT_EQ(m10.time(0), samples[samples.size() - 7999].minute);

    const ScaleTable& hour = store->table(TimeScale::Hour);
    EXPECT_EQ(hour.cnt, 4999);
    EXPECT_EQ(hour.date(4998), dates.back());
    EXPECT_EQ(hour.time(4998), 1440);
    // 7,488 hour rows, the oldest 2,489 dropped: row 0 is hour 2489 % 24 + 1 of its day.
    EXPECT_EQ(hour.time(0), (2489 % 24 + 1) * 60);

    EXPECT_EQ(store->table(TimeScale::Day).cnt, 312);
    EXPECT_EQ(store->table(TimeScale::Week).cnt, 312 / 7);
}

}  // namespace
}  // namespace tev::testing
