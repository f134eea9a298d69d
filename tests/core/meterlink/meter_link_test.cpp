#include "core/meterlink/meter_link.h"

#include <gtest/gtest.h>

#include "tests/core/meterlink/meter_link_fixture.h"

namespace tev::testing {
namespace {

constexpr int kDate = 240802;
constexpr int kEightFive = 8 * 3600 + 5 * 60;

TEST_F(MeterLinkTest, FirstDataMessageRegistersPrimaryMeterBeepsAndLogsConnectLine) {
    link->handleMessage(dataMessage(kMeterA, kDate, kEightFive));

    ASSERT_EQ(store->registry.MeterCount, 1);
    EXPECT_EQ(row(0).Id.view(), kMeterA);
    EXPECT_EQ(row(0).IpAddr.view(), "192.168.1.20");
    EXPECT_EQ(row(0).MeterDate, kDate);
    EXPECT_EQ(row(0).Secs, kEightFive);
    EXPECT_FLOAT_EQ(row(0).VoltMean, 230.0f);  // the plain mean of the three phases
    EXPECT_FLOAT_EQ(row(0).MaxAmp, 5.0f);
    EXPECT_FLOAT_EQ(row(0).Energy[0], 10.5f);
    EXPECT_FLOAT_EQ(row(0).Energy[11], 21.0f);
    EXPECT_EQ(row(0).Field24, 7);
    EXPECT_EQ(row(0).Field25, 8);
    EXPECT_FLOAT_EQ(row(0).TenMinuteSlots[48], 10.5f);

    const LiveReadings& l = store->live;
    EXPECT_FLOAT_EQ(l.W1, 230.0f * 5.0f * 0.86f);
    EXPECT_FLOAT_EQ(l.W3, 229.0f * 3.0f * 0.86f);
    EXPECT_FLOAT_EQ(l.Amp, 12.0f);
    EXPECT_FLOAT_EQ(l.Watt, l.W1 + l.W2 + l.W3);
    EXPECT_FLOAT_EQ(l.KWh, 10.5f);
    EXPECT_EQ(store->calendar.DataFlag, 1);

    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1800, 250}}));
    EXPECT_EQ(lastLine(), "2024/8/2 8:5 > HOQ 連線 192.168.1.20  ID: 0123456789AB");
    EXPECT_EQ(link->currentId(), kMeterA);
    EXPECT_EQ(link->currentIp(), "192.168.1.20");
}

TEST_F(MeterLinkTest, DataMessageFromSecondMeterRegistersSilently) {
    link->handleMessage(dataMessage(kMeterA, kDate, kEightFive));
    const auto linesBefore = log.lines().size();
    link->handleMessage(dataMessage(kMeterB, kDate, kEightFive, typicalWords(), "10.0.0.9"));

    ASSERT_EQ(store->registry.MeterCount, 2);
    EXPECT_EQ(row(1).Id.view(), kMeterB);
    EXPECT_EQ(row(1).IpAddr.view(), "10.0.0.9");
    EXPECT_EQ(tones.tones.size(), 1u);
    EXPECT_EQ(log.lines().size(), linesBefore);
    // The second meter's values never reach the live readings.
    EXPECT_FLOAT_EQ(store->live.V1, 230.0f);
    EXPECT_EQ(row(1).DayHistory.count, 1);
    EXPECT_EQ(row(1).HourSlots[8].dayEnergy, 10.5f);
}

TEST_F(MeterLinkTest, PollOfSixteenCharactersResetsSilenceButPaddedToThirtyIsNoPoll) {
    link->handleMessage(dataMessage(kMeterA, kDate, kEightFive));
    store->calendar.SilenceCount = 90;
    link->handleMessage("HQ2 " + std::string(kMeterA) + std::string(14, ' '));  // 30 characters
    EXPECT_EQ(store->calendar.SilenceCount, 90);
    link->handleMessage("HQ2 " + std::string(kMeterA));  // 16 characters
    EXPECT_EQ(store->calendar.SilenceCount, 0);

    // A poll from an unknown meter does not hold off the alarm.
    store->calendar.SilenceCount = 90;
    link->handleMessage(pollMessage(kMeterB));
    EXPECT_EQ(store->calendar.SilenceCount, 90);
    EXPECT_EQ(link->currentId(), kMeterB);
}

TEST_F(MeterLinkTest, PendingTextIsAnsweredToThePollAndEmptied) {
    link->handleMessage(dataMessage(kMeterA, kDate, kEightFive));
    row(0).Pending.assign("SET 1");
    EXPECT_EQ(link->handleMessage(pollMessage(kMeterA)), "SET 1");
    EXPECT_EQ(lastLine(), "HQ2: 0123456789AB 輪詢1: [SET 1] OK !");
    EXPECT_TRUE(row(0).Pending.empty());
    EXPECT_EQ(link->handleMessage(pollMessage(kMeterA)), "");
}

TEST_F(MeterLinkTest, DataFromHoq250IsIgnoredButItsDeviceMessageIsAccepted) {
    link->handleMessage(
        dataMessage(kMeterA, kDate, kEightFive, typicalWords(), "1.2.3.4", "HOQ-250"));
    EXPECT_EQ(store->registry.MeterCount, 0);
    EXPECT_EQ(link->counters().ignored, 1u);

    link->handleMessage(deviceMessage(kMeterA, "HOQ-250"));
    ASSERT_EQ(store->registry.MeterCount, 1);
    EXPECT_EQ(row(0).Model.view(), "HOQ-260 3P");
    EXPECT_EQ(row(0).Proj.view(), "Plant 7");
    EXPECT_EQ(row(0).Tag.view(), "KITCHEN");
    EXPECT_EQ(row(0).Cfg1, 11);
    EXPECT_EQ(row(0).Cfg3, 33);
    EXPECT_FLOAT_EQ(row(0).Param[0], 1.5f);
    EXPECT_FLOAT_EQ(row(0).Param[14], 15.5f);
    // The first meter of a device message beeps but writes no connect line.
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1800, 250}}));
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(store->calendar.DataFlag, 0);
}

TEST_F(MeterLinkTest, DeviceMessageOfLaterMeterBeepsAndLogsConnectLineInEachLanguage) {
    link->handleMessage(dataMessage(kMeterA, kDate, kEightFive));
    language = LanguageMode::English;
    link->handleMessage(deviceMessage(kMeterB));
    EXPECT_EQ(lastLine(), "2024/8/2 8:5 > HOQ Connect 192.168.1.20  ID: HOQ000000002");
    EXPECT_EQ(row(1).IpAddr.view(), "192.168.1.20");

    language = LanguageMode::Chinese;
    const auto lines = log.lines().size();
    link->handleMessage(deviceMessage("HOQ000000003"));
    EXPECT_EQ(log.lines().size(), lines);
    EXPECT_EQ(store->registry.MeterCount, 3);
    EXPECT_EQ(tones.tones.size(), 3u);
}

TEST_F(MeterLinkTest, MissingBracketsLogGetFailInEveryLanguageAndKeepPreviousValues) {
    for (LanguageMode mode :
         {LanguageMode::English, LanguageMode::Chinese, LanguageMode::Bilingual}) {
        language = mode;
        log.clear();
        link->handleMessage("HOQ-260 PWR " + std::string(kMeterA) + " no model here\r");
        ASSERT_EQ(log.lines().size(), 2u);
        EXPECT_EQ(log.lines()[0], "HQ2: Model Get fail !");
        EXPECT_EQ(log.lines()[1], "|HQ2: Proj Get fail !");
    }

    link->handleMessage(dataMessage(kMeterA, kDate, kEightFive));
    log.clear();
    std::string noIp = dataMessage(kMeterA, kDate, kEightFive);
    noIp[24] = ':';  // "IP:" instead of "IP="
    link->handleMessage(noIp);
    EXPECT_EQ(log.lines(), (std::deque<std::string>{"HQ2: IP_Addr Get fail !"}));
    EXPECT_EQ(link->currentIp(), "192.168.1.20");

    log.clear();
    std::string noDate = dataMessage(kMeterA, kDate, kEightFive);
    noDate[noDate.find('[')] = '(';
    link->handleMessage(noDate);
    EXPECT_EQ(log.lines(), (std::deque<std::string>{"HQ2: 日期 Get fail !"}));
    EXPECT_EQ(row(0).MeterDate, kDate);

    log.clear();
    std::string noTime = dataMessage(kMeterA, kDate, kEightFive);
    noTime[noTime.find('<')] = '(';
    link->handleMessage(noTime);
    EXPECT_EQ(log.lines(), (std::deque<std::string>{"HQ2: 時間 Get fail !"}));
}

TEST_F(MeterLinkTest, AdcReportLogsTheMessageAndStoresFieldsOfRegisteredMeter) {
    link->handleMessage(dataMessage(kMeterA, kDate, kEightFive));
    log.clear();
    const std::string adc =
        "HQ2 SYS ADC " + std::string(kMeterA) + " 17_-3.75_9.9_alpha_beta_gamma_\r";
    link->handleMessage(adc);
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[0], "[HQ2 SYS ADC 0123456789AB 17_-3.75_9.9_alpha_beta_gamma_] " +
                                  std::to_string(adc.size()));
    EXPECT_EQ(log.lines()[1], "[0123456789AB] 12");
    EXPECT_EQ(log.lines()[2], "HQ2 SYS ADC 補傳, k= 0");
    EXPECT_EQ(row(0).Adc1, 17);
    EXPECT_EQ(row(0).Adc2, -3);
    EXPECT_EQ(row(0).Adc3, 9);
    EXPECT_EQ(row(0).AdcText1.view(), "alpha");
    EXPECT_EQ(row(0).AdcText3.view(), "gamma");

    // A sixth field without its closing underscore is not taken.
    link->handleMessage("HQ2 SYS ADC " + std::string(kMeterA) + " 1_2_3_a_b_c\r");
    EXPECT_EQ(row(0).AdcText2.view(), "b");
    EXPECT_EQ(row(0).AdcText3.view(), "");
}

TEST_F(MeterLinkTest, MinusSignIsDroppedAndInvalidSecondsWriteNoSlot) {
    WordTexts words = typicalWords();
    words[0] = "-3.5";
    link->handleMessage(dataMessage(kMeterA, kDate, kEightFive, words));
    EXPECT_FLOAT_EQ(row(0).V1, 3.5f);

    row(0).TenMinuteSlots.fill(0);
    row(0).HourSlots.fill(HourSlot{});
    for (int secs : {0, 86401, -600}) {
        link->handleMessage(dataMessage(kMeterA, kDate, secs));
        EXPECT_EQ(row(0).Secs, secs);
    }
    for (float slot : row(0).TenMinuteSlots) EXPECT_EQ(slot, 0.0f);
    for (const HourSlot& h : row(0).HourSlots) EXPECT_EQ(h.dayEnergy, 0.0f);

    // 86400 itself is the last valid second: slot 144 is kept but never written to a file.
    link->handleMessage(dataMessage(kMeterA, kDate, 86400));
    EXPECT_FLOAT_EQ(row(0).TenMinuteSlots[144], 10.5f);
    EXPECT_FLOAT_EQ(row(0).HourSlots[24].dayEnergy, 10.5f);
}

TEST_F(MeterLinkTest, HistoriesOpenAnEntryPerMeterDayAndMonth) {
    WordTexts words = typicalWords();
    link->handleMessage(dataMessage(kMeterA, 240830, kEightFive, words));
    words[9] = "2.5";
    link->handleMessage(dataMessage(kMeterA, 240831, kEightFive, words));
    EXPECT_EQ(row(0).DayHistory.count, 2);
    EXPECT_EQ(row(0).DayHistory.entries[0].date, 240831);
    EXPECT_FLOAT_EQ(row(0).DayHistory.entries[0].energy[0], 2.5f);
    EXPECT_EQ(row(0).DayHistory.entries[1].date, 240830);
    EXPECT_FLOAT_EQ(row(0).DayHistory.entries[1].energy[0], 10.5f);
    EXPECT_EQ(row(0).MonthHistory.count, 1);

    // Field23 not 0 holds DayHistoryB on its current entry.
    words[22] = "1";
    link->handleMessage(dataMessage(kMeterA, 240901, kEightFive, words));
    EXPECT_EQ(row(0).DayHistory.count, 3);
    EXPECT_EQ(row(0).DayHistoryB.count, 2);
    EXPECT_EQ(row(0).MonthHistory.count, 2);
    EXPECT_EQ(row(0).MonthHistory.entries[0].date, 240901);
    EXPECT_EQ(row(0).MonthHistory.entries[1].date, 240831);
}

TEST_F(MeterLinkTest, FullRegistryIgnoresNewMeters) {
    for (int i = 0; i < kMeterRegistryCapacity; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "M%011d", i);
        link->handleMessage(dataMessage(id, kDate, kEightFive));
    }
    ASSERT_EQ(store->registry.MeterCount, kMeterRegistryCapacity);
    link->handleMessage(dataMessage("NEWMETER0001", kDate, kEightFive));
    link->handleMessage(deviceMessage("NEWMETER0002"));
    EXPECT_EQ(store->registry.MeterCount, kMeterRegistryCapacity);
    EXPECT_EQ(store->registry.find("NEWMETER0001"), -1);
}

TEST_F(MeterLinkTest, LinkSwitchAndM10SaveCommands) {
    link->handleMessage(dataMessage(kMeterA, kDate, kEightFive));
    link->handleMessage(dataMessage(kMeterB, kDate, kEightFive));
    row(0).DayFileCount = 4;
    link->m10SaveClick();
    EXPECT_EQ(row(0).DayFileCount, 0);
    EXPECT_EQ(log.lines()[log.lines().size() - 2], "HQ2: [] 10-Min= 0 Save OK !");
    EXPECT_EQ(lastLine(), "HQ2: [] 10-Min= 0 Save OK !");

    tones.tones.clear();
    link->linkSwitchedOff();
    EXPECT_EQ(store->registry.MeterCount, 0);
    EXPECT_EQ(log.lines()[log.lines().size() - 2], "TCP/IP OFF-Line !");
    EXPECT_EQ(lastLine(), "");
    link->linkSwitchedOn();
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1200, 200}, {1500, 200}}));

    // The next data message registers the meter again as the primary one.
    link->handleMessage(dataMessage(kMeterB, kDate, kEightFive));
    EXPECT_EQ(row(0).Id.view(), kMeterB);
    EXPECT_EQ(row(0).DayHistory.count, 1);
}

// Only a data message whose readings were taken is a new reading for the services: polls,
// device messages and a data message given up half-way repeat the meter's last readings.
TEST_F(MeterLinkTest, OnlyATakenDataMessageCountsAsANewReading) {
    WordTexts broken = typicalWords();
    broken[5] = "x";
    const struct {
        std::string message;
        bool data;
    } cases[] = {
        {dataMessage(kMeterA, 240802, 29100), true},
        {pollMessage(kMeterA), false},
        {deviceMessage(kMeterA), false},
        {dataMessage(kMeterA, 240802, 29101, broken), false},
        {"HOQ-260  garbage\r", false},
        {dataMessage(kMeterB, 240802, 29102), true},
    };
    for (const auto& c : cases) {
        link->handleMessage(c.message);
        EXPECT_EQ(link->lastMessageWasData(), c.data) << c.message;
    }
}

}  // namespace
}  // namespace tev::testing
