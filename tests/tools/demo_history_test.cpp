#include "tools/hoq-sim/demo_history.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <fstream>

#include "core/persistence/atomic_file.h"
#include "core/persistence/records_image.h"
#include "core/persistence/settings_file.h"

namespace tev::sim {
namespace {

// Every quantity cell of rows 0 … cnt is a finite number.
int nonFiniteCells(const ScaleTable& t) {
    int bad = 0;
    for (int r = 0; r <= t.cnt; ++r)
        for (int c = 0; c < kQuantityCount; ++c)
            if (!std::isfinite(t.value(c, r))) ++bad;
    return bad;
}

TEST(DemoHistory, FourHundredDaysLoadWithFullTablesOnEveryScaleAndPlausibleValues) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    DemoOptions options;
    options.folder = dir.path().toStdString();
    options.days = 400;
    options.end = DateTime{2026, 12, 8, 12, 0, 30, 0};
    const DemoResult result = writeDemoHistory(options);
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.ticks, 400LL * 86400);
    EXPECT_EQ(result.outages, 3);

    MeasurementStore store;
    const RecordsFileResult read = readRecordsFile(options.folder + "/TEV3P_Records.dat", store);
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_TRUE(read.decode.clamped.empty());

    const auto cnt = [&](TimeScale s) { return store.table(s).cnt; };
    // Min, M5, M10 and Hour have compacted at their row limits at least once and sit between
    // the rows kept after a compaction and the limit.
    EXPECT_GE(cnt(TimeScale::Min), 7000);
    EXPECT_LT(cnt(TimeScale::Min), 8000);
    EXPECT_GE(cnt(TimeScale::M5), 5500);
    EXPECT_LT(cnt(TimeScale::M5), 6000);
    EXPECT_GE(cnt(TimeScale::M10), 4500);
    EXPECT_LT(cnt(TimeScale::M10), 5000);
    EXPECT_GE(cnt(TimeScale::Hour), 3900);
    EXPECT_LT(cnt(TimeScale::Hour), 4000);
    // One Day row per day change seen with data: 400 days less the one spent in the long
    // outage.
    EXPECT_EQ(cnt(TimeScale::Day), 399);
    EXPECT_GE(cnt(TimeScale::Week), 56);
    EXPECT_LE(cnt(TimeScale::Week), 58);
    // November 2025 … December 2026.
    EXPECT_EQ(cnt(TimeScale::Month), 13);

    for (int s = 0; s < kScaleCount; ++s) {
        const ScaleTable& t = store.tableAt(s);
        EXPECT_EQ(nonFiniteCells(t), 0) << "table " << s;
        // Closed rows carry real readings: voltages near the mains and a date.
        for (int r = 0; r < t.cnt; ++r) {
            ASSERT_GT(t.date(r), 0) << "table " << s << " row " << r;
            ASSERT_GT(t.value(kColV1, r), 200.0f) << "table " << s << " row " << r;
            ASSERT_LT(t.value(kColV1, r), 240.0f) << "table " << s << " row " << r;
        }
    }
    // The meter's day energy rises through every hour of a day and starts again at midnight.
    const ScaleTable& hours = store.table(TimeScale::Hour);
    int rising = 0, restarts = 0;
    for (int r = 1; r < hours.cnt; ++r) {
        if (hours.date(r) != hours.date(r - 1)) {
            ++restarts;
            continue;
        }
        EXPECT_GE(hours.value(kColKWh, r), hours.value(kColKWh, r - 1)) << "hour row " << r;
        if (hours.value(kColKWh, r) > hours.value(kColKWh, r - 1)) ++rising;
    }
    EXPECT_GT(rising, 3500);
    EXPECT_GT(restarts, 150);
    // Each whole day used energy; the per-phase accounts begin afresh each morning, when the
    // demo's program starts, so they hold a day's energy, not the year's.
    const ScaleTable& days = store.table(TimeScale::Day);
    for (int r = 1; r < days.cnt; ++r) {
        EXPECT_GT(days.value(kColKWh, r), 5.0f) << "day " << r;
        EXPECT_GT(days.value(kColK1, r), 1.0f) << "day " << r;
        EXPECT_LT(days.value(kColK1, r), days.value(kColKWh, r)) << "day " << r;
    }
    // Winter days (January) use more than summer days (July).
    double january = 0, july = 0;
    for (int r = 0; r < days.cnt; ++r) {
        const int month = days.date(r) / 100 % 100;
        if (month == 1) january += days.value(kColKWh, r);
        if (month == 7) july += days.value(kColKWh, r);
    }
    EXPECT_GT(january, 1.3 * july);

    // The settings file: CH1 Watt by day, CH2 V1 by hour, accounts of today kept.
    std::string error;
    bool missing = false;
    const auto image = readWholeFile(options.folder + "/TEV3P_Environ.dat", error, missing);
    ASSERT_EQ(image.size(), kSettingsFileSize);
    SettingsValues v;
    decodeSettings(image, v);
    EXPECT_EQ(v.ch1Quantity, 8);
    EXPECT_EQ(v.ch1TimeScale, 5);
    EXPECT_EQ(v.ch2Quantity, 1);
    EXPECT_EQ(v.ch2TimeScale, 4);
    EXPECT_EQ(v.StartDayCode, 261208);
    EXPECT_GT(v.TotalKWh, 4000.0f);
    EXPECT_GT(v.MonthKWh, 0.0f);

    // A second run leaves the history in place.
    EXPECT_NE(writeDemoHistory(options).error, "");
    // The meter protocol wrote the day file, one line per meter day.
    std::ifstream dayFile(options.folder + "/M10_SIM000000001.txt");
    EXPECT_TRUE(dayFile.good());
}

}  // namespace
}  // namespace tev::sim
