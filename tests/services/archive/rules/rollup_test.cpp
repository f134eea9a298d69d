#include <gtest/gtest.h>

#include "services/archive/rules/aggregator.h"
#include "services/archive/rules/local_time.h"
#include "tests/services/archive/rules/zone.h"

namespace tev::archive {
namespace {

std::int64_t at(const char* iso) {
    return *parseIsoTime(iso);
}

ArchiveSample sample(const char* id, const char* iso, std::array<float, 3> v,
                     std::array<float, 3> a, float dayEnergy) {
    ArchiveSample s;
    s.setId(id);
    s.unixSeconds = at(iso);
    s.volts = v;
    s.amps = a;
    s.dayEnergy = dayEnergy;
    return s;
}

class Rollup : public ::testing::Test {
  protected:
    void SetUp() override { testing::useCentralEuropeanTime(); }
};

TEST_F(Rollup, MessagesAcrossAMonthEndMidnightAndASilenceGiveOnePartPerMinuteWithMessages) {
    Aggregator agg;
    agg.seedDayEnergy("A1B2C3D4E5F6", 4.8, at("2026-01-31T23:58:59"));
    agg.add(sample("A1B2C3D4E5F6", "2026-01-31T23:59:10", {230, 231, 229}, {1, 2, 3}, 5.0f));
    agg.add(sample("A1B2C3D4E5F6", "2026-01-31T23:59:40", {232, 229, 229}, {3, 2, 1}, 5.1f));
    agg.add(sample("A1B2C3D4E5F6", "2026-02-01T00:00:20", {228, 230, 231}, {2, 2, 2}, 0.05f));
    agg.add(sample("A1B2C3D4E5F6", "2026-02-01T00:07:05", {230, 230, 230}, {1, 1, 1}, 0.30f));
    EXPECT_EQ(agg.pendingCount(), 3u);
    const std::vector<PeriodDelta> parts = agg.take();
    ASSERT_EQ(parts.size(), 3u);  // nothing for the six silent minutes

    const PeriodDelta& last = parts[0];
    EXPECT_EQ(last.minute, at("2026-01-31T23:59:00"));
    EXPECT_EQ(last.hour, at("2026-01-31T23:00:00"));
    EXPECT_EQ(last.day, at("2026-01-31T00:00:00"));
    EXPECT_EQ(last.stats.count, 2);
    EXPECT_NEAR(last.stats.mean[0], 231.0, 1e-4);  // V1
    EXPECT_NEAR(last.stats.min[0], 230.0, 1e-4);
    EXPECT_NEAR(last.stats.max[0], 232.0, 1e-4);
    EXPECT_NEAR(last.stats.mean[3], 2.0, 1e-6);  // A1
    EXPECT_NEAR(last.stats.min[5], 1.0, 1e-6);   // A3
    EXPECT_NEAR(last.stats.max[5], 3.0, 1e-6);
    EXPECT_NEAR(last.stats.powerMean[0], (230 * 1 + 232 * 3) * 0.86 / 2, 1e-3);   // W1
    EXPECT_NEAR(last.stats.powerMean[3], (0.86 * 1379 + 0.86 * 1383) / 2, 1e-3);  // Watt
    EXPECT_NEAR(last.stats.dayEnergy, 5.1, 1e-6);
    EXPECT_NEAR(last.stats.energy, 0.3, 1e-6);  // 4.8 -> 5.0 -> 5.1

    const PeriodDelta& first = parts[1];
    EXPECT_EQ(first.minute, at("2026-02-01T00:00:00"));
    EXPECT_EQ(first.day, at("2026-02-01T00:00:00"));
    EXPECT_EQ(first.hour, first.day);
    EXPECT_NEAR(first.stats.energy, 0.05, 1e-6);  // the day energy began again at midnight
    EXPECT_EQ(parts[2].minute, at("2026-02-01T00:07:00"));
    EXPECT_NEAR(parts[2].stats.energy, 0.25, 1e-6);
    EXPECT_NEAR(parts[2].stats.dayEnergy, 0.30, 1e-6);
    EXPECT_TRUE(agg.take().empty());  // each part is handed out once
}

// The day so far of a meter heard for the first time, or again on a later day, was used
// before the archive saw it: it is the baseline, not the first minute's consumption.
TEST_F(Rollup, FirstReadingOfAMeterAndTheFirstOnALaterDayAreBaselines) {
    Aggregator agg;
    agg.add(sample("NEW000000001", "2026-03-01T10:00:41", {230, 230, 230}, {1, 1, 1}, 2.5f));
    agg.add(sample("NEW000000001", "2026-03-01T10:00:59", {230, 230, 230}, {1, 1, 1}, 2.6f));
    agg.add(sample("NEW000000001", "2026-03-02T07:30:00", {230, 230, 230}, {1, 1, 1}, 3.0f));
    agg.add(sample("NEW000000001", "2026-03-02T07:31:00", {230, 230, 230}, {1, 1, 1}, 3.2f));
    // Seeded from a row of the day before, nine hours earlier: the new day starts afresh too.
    agg.seedDayEnergy("OLD000000001", 9.0, at("2026-03-01T22:00:59"));
    agg.add(sample("OLD000000001", "2026-03-02T07:30:00", {230, 230, 230}, {1, 1, 1}, 1.5f));
    const std::vector<PeriodDelta> parts = agg.take();
    ASSERT_EQ(parts.size(), 4u);
    const double energies[] = {0.1, 0.0, 0.2, 0.0};  // NEW's three minutes, then OLD's one
    for (std::size_t i = 0; i < parts.size(); ++i)
        EXPECT_NEAR(parts[i].stats.energy, energies[i], 1e-6) << parts[i].meter << " " << i;
}

TEST_F(Rollup, StatsWrittenInPartsMergeToTheStatsOfAllTheirMessages) {
    const ArchiveSample s[] = {
        sample("M", "2026-03-01T10:00:01", {230, 230, 230}, {1, 0, 0}, 1.0f),
        sample("M", "2026-03-01T10:00:02", {240, 220, 230}, {5, 1, 0}, 1.2f),
        sample("M", "2026-03-01T10:00:03", {210, 225, 235}, {2, 3, 4}, 1.5f)};
    PeriodStats whole, head, tail;
    whole.add(s[0], 0.1);
    whole.add(s[1], 0.2);
    whole.add(s[2], 0.3);
    head.add(s[0], 0.1);
    tail.add(s[1], 0.2);
    tail.add(s[2], 0.3);
    head.merge(tail);
    EXPECT_EQ(head.count, 3);
    for (int i = 0; i < kRangedCount; ++i) {
        EXPECT_NEAR(head.mean[i], whole.mean[i], 1e-9);
        EXPECT_EQ(head.min[i], whole.min[i]);
        EXPECT_EQ(head.max[i], whole.max[i]);
    }
    EXPECT_NEAR(head.mean[1], (230 + 220 + 225) / 3.0, 1e-9);
    EXPECT_EQ(head.min[0], 210);
    EXPECT_EQ(head.max[3], 5);
    EXPECT_NEAR(head.energy, 0.6, 1e-9);
    EXPECT_FLOAT_EQ(static_cast<float>(head.dayEnergy), 1.5f);
    EXPECT_FLOAT_EQ(phasePower(230.0f, 5.0f), 230.0f * 5.0f * 0.86f);
}

TEST_F(Rollup, MetersWhoseIdsDifferInOneCharacterAreKeptApart) {
    Aggregator agg;
    agg.add(sample("A1B2C3D4E5F6", "2026-03-01T10:00:01", {230, 230, 230}, {1, 1, 1}, 1.0f));
    agg.add(sample("A1B2C3D4E5F7", "2026-03-01T10:00:02", {210, 210, 210}, {2, 2, 2}, 2.0f));
    agg.add(sample("FFFF00000001", "2026-03-01T10:00:03", {220, 220, 220}, {3, 3, 3}, 3.0f));
    agg.add(sample("A1B2C3D4E5F6", "2026-03-01T10:00:04", {232, 230, 230}, {1, 1, 1}, 1.1f));
    const auto parts = agg.take();
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].meter, "A1B2C3D4E5F6");
    EXPECT_EQ(parts[0].stats.count, 2);
    EXPECT_NEAR(parts[0].stats.mean[0], 231, 1e-6);
    EXPECT_EQ(parts[1].meter, "A1B2C3D4E5F7");
    EXPECT_NEAR(parts[1].stats.mean[0], 210, 1e-6);
    EXPECT_EQ(parts[2].meter, "FFFF00000001");
    EXPECT_NEAR(parts[2].stats.mean[3], 3, 1e-6);
}

// The growth over a silence stays whole in the return minute; its hour and day rows get it in
// pieces by each local hour's share of (previous reading, this reading].
TEST_F(Rollup, TheGrowthOverASilenceIsSpreadOverTheHoursItCovered) {
    const struct {
        const char *before, *after;
        float dayBefore, dayAfter;
        double minuteKwh;
        std::vector<std::pair<const char*, double>> pieces;  // hour, kWh
    } cases[] = {
        {"2026-03-04T10:00:00", "2026-03-04T10:01:00", 1, 1.5, 0.5, {}},  // not a silence
        {"2026-03-04T06:30:30",
         "2026-03-04T08:30:30",
         1,
         3,
         2,
         {{"2026-03-04T06:00", 2.0 * 1770 / 7200},
          {"2026-03-04T07:00", 1},
          {"2026-03-04T08:00", 2.0 * 1830 / 7200}}},
        // 01:30 CET to 03:30 CEST is one hour, half on each side of the change.
        {"2026-03-29T01:30:00",
         "2026-03-29T03:30:00",
         1,
         2,
         1,
         {{"2026-03-29T01:00", 0.5}, {"2026-03-29T03:00", 0.5}}},
        // After the meter's midnight reset the count is all the new day's.
        {"2026-03-04T23:58:00", "2026-03-05T00:02:00", 9, 0.25, 0.25, {{"2026-03-05T00:00", 0.25}}},
        {"2026-03-04T23:58:00",
         "2026-03-05T00:02:00",
         9,
         9.5,
         0.5,
         {{"2026-03-04T23:00", 0.25}, {"2026-03-05T00:00", 0.25}}},
        {"2026-03-04T23:50:00", "2026-03-05T00:10:00", 9, 0.5, 0, {}},  // a baseline
    };
    for (const auto& c : cases) {
        Aggregator agg;
        agg.add(sample("S1", c.before, {230, 230, 230}, {1, 1, 1}, c.dayBefore));
        agg.add(sample("S1", c.after, {230, 230, 230}, {1, 1, 1}, c.dayAfter));
        const std::vector<PeriodDelta> parts = agg.take();
        ASSERT_EQ(parts.size(), 2u) << c.after;
        const PeriodDelta& back = parts[1];
        EXPECT_NEAR(back.stats.energy, c.minuteKwh, 1e-6) << c.after;
        double rolledUp = back.rollupEnergy;
        ASSERT_EQ(back.spread.size(), c.pieces.size()) << c.after;
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            EXPECT_EQ(back.spread[i].hour, at(c.pieces[i].first)) << c.after << " " << i;
            EXPECT_EQ(back.spread[i].day, localDayStart(at(c.pieces[i].first))) << c.after;
            EXPECT_NEAR(back.spread[i].kwh, c.pieces[i].second, 1e-9) << c.after << " " << i;
            rolledUp += back.spread[i].kwh;
        }
        EXPECT_NEAR(rolledUp, back.stats.energy, 1e-12) << c.after;
    }
}

TEST(EnergyBetween, CountsTheNewDaysValueWhenTheDayEnergyDrops) {
    EXPECT_DOUBLE_EQ(energyBetween(2.0, 2.5), 0.5);
    EXPECT_DOUBLE_EQ(energyBetween(12.0, 0.2), 0.2);
    EXPECT_DOUBLE_EQ(energyBetween(0.0, 0.0), 0.0);
}

}  // namespace
}  // namespace tev::archive
