#include "core/meterlink/clock_tick.h"

#include <gtest/gtest.h>

#include "tests/core/meterlink/meter_link_fixture.h"

namespace tev::testing {
namespace {

class ClockTickTest : public MeterLinkTest {
  protected:
    ClockTickTest() {
        tick = std::make_unique<ClockTick>(*store, log, tones, clock, language, *link);
    }

    // One timer event per second for `seconds` seconds.
    void runSeconds(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            clock.advanceSeconds(1);
            tick->onTimer();
        }
    }
    void startData() {
        link->handleMessage(dataMessage(kMeterA, 240802, 8 * 3600));
        tones.tones.clear();
    }
    int minRows() const { return store->table(TimeScale::Min).cnt; }

    std::unique_ptr<ClockTick> tick;
};

TEST_F(ClockTickTest, SilenceWarnsFromSecond101AndRaisesTheOffLineAlarmOnceAt105) {
    language = LanguageMode::English;
    startData();
    runSeconds(100);
    EXPECT_TRUE(tones.tones.empty());
    std::vector<TickOutcome> outcomes;
    for (int i = 0; i < 5; ++i) {
        clock.advanceSeconds(1);
        outcomes.push_back(tick->onTimer());
    }
    EXPECT_EQ(tones.tones,
              (std::vector<Tone>{
                  {1200, 250}, {1200, 250}, {1200, 250}, {1200, 250}, {1200, 250}, {1400, 1000}}));
    EXPECT_FALSE(outcomes[3].offlineAlarm);
    EXPECT_TRUE(outcomes[4].offlineAlarm);
    EXPECT_TRUE(outcomes[4].repaint);
    EXPECT_EQ(store->registry.MeterCount, 0);
    EXPECT_EQ(store->calendar.DataFlag, 0);
    EXPECT_EQ(link->currentId(), "");
    EXPECT_EQ(link->currentIp(), "");
    EXPECT_EQ(lastLine(), "2024/8/2 8:6 > HOQ Off-line! ");
    EXPECT_EQ(noConnectText(LanguageMode::English), "- No Connect -");
    EXPECT_EQ(noConnectText(LanguageMode::Bilingual), "- 未連線 -");

    runSeconds(600);
    EXPECT_EQ(tones.tones.size(), 6u);
    EXPECT_EQ(store->calendar.SilenceCount, 500);

    // The meter's next data message registers it again, with beep and connect line.
    link->handleMessage(dataMessage(kMeterA, 240802, 8 * 3600));
    EXPECT_EQ(store->registry.MeterCount, 1);
    EXPECT_EQ(tones.tones.back(), (Tone{1800, 250}));
    EXPECT_EQ(lastLine(), "2024/8/2 8:16 > HOQ Connect 192.168.1.20  ID: 0123456789AB");
}

TEST_F(ClockTickTest, OffLineLineFollowsTheLanguageAndAPollAt103StopsTheWarning) {
    language = LanguageMode::Bilingual;
    runSeconds(105);
    EXPECT_EQ(lastLine(), "2024/8/2 8:6 > HOQ 離線警示! ");

    tones.tones.clear();
    startData();
    store->calendar.SilenceCount = 0;
    runSeconds(103);
    link->handleMessage(pollMessage(kMeterA));
    runSeconds(50);
    EXPECT_EQ(tones.tones.size(), 3u);
    EXPECT_EQ(store->registry.MeterCount, 1);

    language = LanguageMode::Chinese;
    const auto lines = log.lines().size();
    runSeconds(110);
    EXPECT_EQ(store->registry.MeterCount, 0);
    EXPECT_EQ(log.lines().size(), lines);
}

TEST_F(ClockTickTest, LabelsChangeAtSecondZeroAndAtTheWholeHourInEachLanguage) {
    EXPECT_EQ(timeLabelText(8, 5), "8 : 5      ");
    EXPECT_EQ(dateLabelText(2024, 8, 2, LanguageMode::English), "2024 / 8 / 2");
    EXPECT_EQ(dateLabelText(2024, 8, 2, LanguageMode::Bilingual), "2024年 8月 2日      ");

    clock.set(2024, 8, 2, 8, 58, 58);
    language = LanguageMode::English;
    tick->onTimer();  // without data the labels keep their texts
    startData();
    clock.advanceSeconds(1);
    EXPECT_FALSE(tick->onTimer().timeLabelChanged);
    clock.advanceSeconds(1);
    const TickOutcome atMinute = tick->onTimer();
    EXPECT_TRUE(atMinute.timeLabelChanged);
    EXPECT_EQ(atMinute.timeLabel, "8 : 59      ");
    EXPECT_FALSE(atMinute.dateLabelChanged);

    clock.set(2024, 8, 2, 9, 0, 0);
    language = LanguageMode::Bilingual;
    const TickOutcome atHour = tick->onTimer();
    EXPECT_EQ(atHour.timeLabel, "9 : 0      ");
    EXPECT_TRUE(atHour.dateLabelChanged);
    EXPECT_EQ(atHour.dateLabel, "2024年 8月 2日      ");

    clock.set(2024, 8, 2, 10, 0, 0);
    language = LanguageMode::Chinese;
    EXPECT_FALSE(tick->onTimer().dateLabelChanged);
}

TEST_F(ClockTickTest, TwoTimerEventsInOneSecondCountOnce) {
    clock.set(2024, 8, 2, 10, 4, 59);
    startData();
    tick->onTimer();
    const int silence = store->calendar.SilenceCount;
    clock.set(2024, 8, 2, 10, 5, 0);
    EXPECT_TRUE(tick->onTimer().timeLabelChanged);
    const TickOutcome again = tick->onTimer();
    EXPECT_FALSE(again.timeLabelChanged);
    EXPECT_EQ(minRows(), 1);
    EXPECT_EQ(store->table(TimeScale::M5).cnt, 1);
    EXPECT_EQ(store->calendar.SilenceCount, silence + 1);
}

TEST_F(ClockTickTest, LateTimerCatchesUpEverySkippedMinuteExactlyOnce) {
    clock.set(2024, 8, 2, 10, 4, 59);
    startData();
    tick->onTimer();
    clock.set(2024, 8, 2, 10, 5, 1);  // second 0 of 10:05 skipped
    const TickOutcome late = tick->onTimer();
    EXPECT_TRUE(late.timeLabelChanged);
    EXPECT_EQ(late.timeLabel, "10 : 5      ");
    EXPECT_EQ(minRows(), 1);
    const ScaleTable& m5 = store->table(TimeScale::M5);
    EXPECT_EQ(m5.cnt, 1);
    EXPECT_EQ(m5.time(0), 605);
    EXPECT_EQ(store->calendar.SilenceCount, 3);

    // Three minutes skipped at once close three Min rows: every minute keeps exactly one row.
    link->handleMessage(pollMessage(kMeterA));
    clock.set(2024, 8, 2, 10, 8, 2);
    tick->onTimer();
    const ScaleTable& min = store->table(TimeScale::Min);
    ASSERT_EQ(min.cnt, 4);
    EXPECT_EQ(min.time(0), 604);
    EXPECT_EQ(min.time(1), 605);
    EXPECT_EQ(min.time(2), 606);
    EXPECT_EQ(min.time(3), 607);
    EXPECT_EQ(min.time(4), 608);
    runSeconds(100);
    EXPECT_EQ(min.cnt, 5);
}

TEST_F(ClockTickTest, LongGapAddsNoRowsButReadsTheDateAtOnce) {
    clock.set(2024, 8, 2, 22, 30, 10);
    startData();
    tick->onTimer();
    clock.set(2024, 8, 3, 7, 15, 30);           // the computer slept through the night
    link->handleMessage(pollMessage(kMeterA));  // and the meter polled right after it woke
    const TickOutcome woke = tick->onTimer();
    EXPECT_EQ(minRows(), 0);
    EXPECT_EQ(store->calendar.TodayCode, 240803);
    EXPECT_EQ(store->table(TimeScale::Day).cnt, 0);
    EXPECT_TRUE(woke.dateLabelChanged);
    EXPECT_EQ(woke.timeLabel, "7 : 15      ");
    EXPECT_EQ(store->calendar.SilenceCount, 1);
    EXPECT_TRUE(tones.tones.empty());
}

TEST_F(ClockTickTest, LateTickPastTheAlarmPointStillRaisesTheAlarmOnce) {
    clock.set(2024, 8, 2, 10, 0, 10);
    startData();
    tick->onTimer();
    store->calendar.SilenceCount = 100;
    clock.advanceSeconds(30);
    EXPECT_TRUE(tick->onTimer().offlineAlarm);
    EXPECT_EQ(store->calendar.SilenceCount, 130);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1200, 250}, {1400, 1000}}));
    runSeconds(10);
    EXPECT_EQ(tones.tones.size(), 2u);
}

TEST_F(ClockTickTest, ClockSetBackIsTakenAsOneSecond) {
    clock.set(2024, 8, 2, 10, 5, 30);
    startData();
    tick->onTimer();
    clock.set(2024, 8, 2, 10, 5, 0);
    tick->onTimer();
    EXPECT_EQ(store->calendar.SilenceCount, 2);
    EXPECT_EQ(minRows(), 1);
}

}  // namespace
}  // namespace tev::testing
