#include "core/store/roll_up.h"

#include <gtest/gtest.h>

#include "core/texts/number_text.h"
#include "tests/support/fake_clock.h"

namespace tev {
namespace {

using testing::FakeClock;

// A store with data flowing, its date read from the clock as at start-up.
struct RollUpFixture : ::testing::Test {
    MeasurementStore store;
    FakeClock clock;

    void start(int y, int mo, int d, int h, int mi, int s) {
        clock.set(y, mo, d, h, mi, s);
        readDate(store.calendar, clock.now());
        store.calendar.NowMonth = mo;
        store.calendar.DataFlag = 1;
    }
    void feed(float v, float a) {
        LiveReadings& l = store.live;
        l.V1 = l.V2 = l.V3 = v;
        l.A1 = l.A2 = l.A3 = a;
        l.W1 = l.W2 = l.W3 = v * a * kPowerFactor;
        l.Amp = 3 * a;
        l.Watt = 3 * l.W1;
    }
    // Ticks once at the clock's time, then moves it one second on.
    void tickSeconds(int n) {
        for (int i = 0; i < n; ++i) {
            rollUpStep(store, clock);
            clock.advanceSeconds(1);
        }
    }
    void tickUntil(int y, int mo, int d, int h, int mi, int s) {
        const DateTime end{y, mo, d, h, mi, s, 0};
        auto key = [](const DateTime& t) {
            return std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second);
        };
        while (key(clock.now()) <= key(end)) tickSeconds(1);
    }
    const ScaleTable& table(TimeScale s) const { return store.table(s); }
};

TEST_F(RollUpFixture, NothingRunsWhileDataFlagIsZero) {
    start(2024, 8, 2, 10, 0, 0);
    store.calendar.DataFlag = 0;
    feed(230, 5);
    tickSeconds(120);
    for (int i = 0; i < kScaleCount; ++i) EXPECT_EQ(store.tableAt(i).cnt, 0);
    EXPECT_EQ(store.live.SmoothV1, 0.0f);
    EXPECT_EQ(store.live.TotalKWh, 0.0f);
    EXPECT_EQ(table(TimeScale::Min).date(0), 0);
}

TEST_F(RollUpFixture, SmoothedValueOfZeroSeedsAtTheRawValue) {
    start(2024, 8, 2, 10, 0, 10);
    feed(230, 0);
    tickSeconds(1);
    EXPECT_FLOAT_EQ(store.live.SmoothV1, 230.0f);
    EXPECT_EQ(store.live.SmoothA1, 0.0f);  // raw 0 seeds nothing
    store.live.V1 = 250;
    tickSeconds(1);
    EXPECT_FLOAT_EQ(store.live.SmoothV1, (230.0f * 19 + 250) * 0.05f);
}

TEST_F(RollUpFixture, ThousandTicksAt3606WattAddOneKilowattHour) {
    start(2024, 8, 2, 10, 0, 1);
    store.live.Watt = 3606;
    store.live.W1 = 3606;
    tickSeconds(1000);
    EXPECT_NEAR(store.live.TotalKWh, 1.0f, 1e-4f);
    EXPECT_NEAR(store.live.K1, 1.0f, 1e-4f);
    EXPECT_NEAR(store.live.WeekKWh, 1.0f, 1e-4f);
    EXPECT_NEAR(store.live.MonthK1, 1.0f, 1e-4f);
    EXPECT_NEAR(store.live.AvgWattK1, 41.66f, 1e-2f);
    EXPECT_NEAR(store.live.AvgAmpK1, 1.0f / 5.28f, 1e-4f);
}

TEST_F(RollUpFixture, WeekAndMonthAccountsAreRaisedToTheMetersDayCount) {
    start(2024, 8, 2, 10, 0, 1);
    store.live.KWh = 12.5f;
    store.live.WeekKWh = 3;
    store.live.MonthKWh = 20;
    tickSeconds(1);
    EXPECT_EQ(store.live.WeekKWh, 12.5f);
    EXPECT_EQ(store.live.MonthKWh, 20.0f);
    EXPECT_EQ(table(TimeScale::Week).value(kColKWh, 0), 12.5f);
    EXPECT_FLOAT_EQ(table(TimeScale::Week).value(kColWatt, 0), 12.5f / 7);
    EXPECT_FLOAT_EQ(table(TimeScale::Week).value(kColAmp, 0), 12.5f * 0.649f);
    EXPECT_FLOAT_EQ(table(TimeScale::Month).value(kColWatt, 0), 20.0f * 33.33f);
    EXPECT_FLOAT_EQ(table(TimeScale::Month).value(kColAmp, 0), 20.0f * 0.1515f);
    EXPECT_EQ(table(TimeScale::Month).date(0), 2408);
}

TEST_F(RollUpFixture, FiveMinuteBoundaryClosesMinAndM5ButNotM10) {
    start(2024, 8, 2, 10, 4, 58);
    feed(230, 5);
    tickSeconds(3);  // 10:04:58, 10:04:59, 10:05:00
    EXPECT_EQ(table(TimeScale::Min).cnt, 1);
    EXPECT_EQ(table(TimeScale::M5).cnt, 1);
    EXPECT_EQ(table(TimeScale::M10).cnt, 0);
    EXPECT_EQ(table(TimeScale::Hour).cnt, 0);
    EXPECT_EQ(table(TimeScale::Min).time(0), 604);  // a Min row carries its own minute
    EXPECT_EQ(table(TimeScale::M5).time(0), 605);   // an M5 row the minute it closed
    EXPECT_EQ(table(TimeScale::Min).time(1), 605);
    EXPECT_EQ(table(TimeScale::M10).time(0), 605);  // still the live row
    EXPECT_EQ(table(TimeScale::Min).date(1), 240802);
}

TEST_F(RollUpFixture, WholeHourClosesEveryShortScaleAndReadsTheDate) {
    start(2024, 8, 2, 10, 59, 59);
    feed(230, 5);
    store.calendar.TodayCode = 0;  // proves the date is re-read at the hour
    tickSeconds(1);
    EXPECT_EQ(table(TimeScale::Min).date(0), 0);
    const RollUpOutcome out = rollUpStep(store, clock);  // 11:00:00
    EXPECT_TRUE(out.minuteClosed);
    EXPECT_TRUE(out.dateRead);
    EXPECT_EQ(table(TimeScale::Min).cnt, 1);
    EXPECT_EQ(table(TimeScale::M5).cnt, 1);
    EXPECT_EQ(table(TimeScale::M10).cnt, 1);
    EXPECT_EQ(table(TimeScale::Hour).cnt, 1);
    EXPECT_EQ(table(TimeScale::Hour).time(0), 660);
    EXPECT_EQ(table(TimeScale::Hour).time(1), 660);
    EXPECT_EQ(table(TimeScale::M10).time(0), 660);
    EXPECT_EQ(store.calendar.TodayCode, 240802);
    EXPECT_EQ(table(TimeScale::Min).date(1), 240802);
}

TEST_F(RollUpFixture, MinuteWithoutATickOnSecondZeroGetsNoRow) {
    start(2024, 8, 2, 10, 0, 58);
    feed(230, 5);
    rollUpAt(store, 10, 0, 58, clock);
    rollUpAt(store, 10, 1, 1, clock);  // second 0 skipped
    EXPECT_EQ(table(TimeScale::Min).cnt, 0);
}

TEST_F(RollUpFixture, MinTableAt8000BecomesSevenThousandKeepingNewestRows) {
    start(2024, 8, 2, 10, 0, 59);
    feed(230, 5);
    ScaleTable& min = store.table(TimeScale::Min);
    for (int c = 0; c < min.columns(); ++c)
        for (int r = 0; r < 8000; ++r) min.raw(c, r) = static_cast<std::uint32_t>(c * 100000 + r);
    min.cnt = 7999;
    rollUpAt(store, 10, 0, 59, clock);  // rewrites live row 7999
    std::vector<std::uint32_t> row7999;
    for (int c = 0; c < min.columns(); ++c) row7999.push_back(min.raw(c, 7999));
    rollUpAt(store, 10, 1, 0, clock);
    EXPECT_EQ(min.cnt, 7000);
    for (int c = 0; c < min.columns(); ++c) {
        EXPECT_EQ(min.raw(c, 6999), row7999[c]) << "column " << c;
        EXPECT_EQ(min.raw(c, 0), static_cast<std::uint32_t>(c * 100000 + 1000)) << "column " << c;
    }
    EXPECT_EQ(min.time(7000), 601);
}

TEST_F(RollUpFixture, EveryTableCompactsAtItsLimitByItsOwnCount) {
    start(2024, 8, 2, 10, 0, 0);
    feed(230, 5);
    const int before[] = {7999, 5999, 4999, 3999, 2999, 1999, 999};
    const int after[] = {7000, 5500, 4500, 3900, 3000 - kDayCompactRows, 1999, 999};
    for (int i = 0; i < kScaleCount; ++i) store.tableAt(i).cnt = before[i];
    // A day change, a Sunday and a month change all at midnight on Sunday 1 September 2024.
    store.table(TimeScale::Day).setDate(2999, 240831);
    store.calendar.NowMonth = 8;
    clock.set(2024, 9, 1, 0, 0, 0);
    rollUpStep(store, clock);
    for (int i = 0; i < kScaleCount; ++i) EXPECT_EQ(store.tableAt(i).cnt, after[i]) << i;
    EXPECT_EQ(table(TimeScale::Day).date(3000 - kDayCompactRows - 1), 240831);
    EXPECT_EQ(table(TimeScale::Day).date(3000 - kDayCompactRows), 240901);
    EXPECT_EQ(table(TimeScale::Month).date(999), 2409);
    EXPECT_EQ(table(TimeScale::Week).date(1999), 240901);
}

TEST_F(RollUpFixture, FiveDaysAcrossYearEndAndSundayFillEveryTable) {
    // Wednesday 30 December 2009, 22:00:30, until Monday 4 January 2010, 00:30:00.
    start(2009, 12, 30, 22, 0, 30);
    store.calendar.WeekStartCode = 91228;
    feed(230, 5);
    store.live.KWh = 1;
    tickUntil(2010, 1, 4, 0, 30, 0);

    EXPECT_EQ(table(TimeScale::Min).cnt, 5910);
    EXPECT_EQ(table(TimeScale::M5).cnt, 1182);
    EXPECT_EQ(table(TimeScale::M10).cnt, 591);
    EXPECT_EQ(table(TimeScale::Hour).cnt, 98);
    EXPECT_EQ(table(TimeScale::Min).time(0), 1320);
    EXPECT_EQ(table(TimeScale::M5).time(0), 1325);
    EXPECT_EQ(table(TimeScale::M10).time(0), 1330);
    EXPECT_EQ(table(TimeScale::Hour).time(0), 1380);
    EXPECT_EQ(table(TimeScale::Hour).time(1), 0);  // the hour that closed at midnight
    EXPECT_EQ(table(TimeScale::Hour).date(1), 91230);
    EXPECT_EQ(table(TimeScale::Min).date(5910), 100104);
    EXPECT_EQ(table(TimeScale::Min).time(5910), 30);

    const ScaleTable& day = table(TimeScale::Day);
    ASSERT_EQ(day.cnt, 5);
    const int days[] = {91230, 91231, 100101, 100102, 100103, 100104};
    for (int r = 0; r <= 5; ++r) EXPECT_EQ(day.date(r), days[r]) << r;

    // Sunday 3 January opened a week after four day changes; Monday counts one.
    const ScaleTable& week = table(TimeScale::Week);
    ASSERT_EQ(week.cnt, 1);
    EXPECT_EQ(week.date(0), 91228);
    EXPECT_EQ(week.date(1), 100103);
    EXPECT_EQ(store.calendar.WeekStartCode, 100103);
    EXPECT_EQ(store.calendar.WeekDayCnt, 1);
    EXPECT_EQ(store.calendar.WeekDay, 1);

    const ScaleTable& month = table(TimeScale::Month);
    ASSERT_EQ(month.cnt, 1);
    EXPECT_EQ(month.date(0), 912);
    EXPECT_EQ(month.date(1), 1001);
    EXPECT_EQ(store.calendar.NowMonth, 1);
    EXPECT_EQ(store.calendar.TodayCode, 100104);
}

TEST_F(RollUpFixture, SeventhDayChangeOpensAWeekWhateverTheWeekday) {
    // From Monday 5 August 2024, midnight after midnight: Sunday 11 August is only the sixth
    // day change, yet it opens the new week.
    start(2024, 8, 5, 23, 59, 59);
    feed(230, 5);
    store.calendar.WeekStartCode = 240805;
    store.calendar.WeekDayCnt = 0;
    tickSeconds(1);
    // Jump from one midnight to the next: a tick at 23:59:59 and one at 00:00:00 each day.
    for (int d = 6; d <= 12; ++d) {
        clock.set(2024, 8, d, 0, 0, 0);
        rollUpStep(store, clock);
        if (d == 11) {
            EXPECT_EQ(table(TimeScale::Week).cnt, 1);  // Sunday opens the week
            EXPECT_EQ(store.calendar.WeekDayCnt, 0);
        }
    }
    EXPECT_EQ(table(TimeScale::Week).date(1), 240811);
    EXPECT_EQ(store.calendar.WeekDayCnt, 1);

    // Without any Sunday in between: force seven changes on weekdays.
    MeasurementStore s2;
    FakeClock c2;
    c2.set(2024, 8, 5, 0, 0, 0);
    readDate(s2.calendar, c2.now());
    s2.calendar.NowMonth = 8;
    s2.calendar.DataFlag = 1;
    s2.calendar.WeekDayCnt = 6;
    s2.table(TimeScale::Day).setDate(0, 240802);
    rollUpStep(s2, c2);  // Monday: the seventh change
    EXPECT_EQ(s2.table(TimeScale::Week).cnt, 1);
    EXPECT_EQ(s2.calendar.WeekDayCnt, 0);
    EXPECT_EQ(s2.calendar.WeekStartCode, 240805);
}

}  // namespace
}  // namespace tev
