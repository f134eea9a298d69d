#include "tools/hoq-sim/meter_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tev::sim {
namespace {

const std::string kId = "AB12CD34EF56";

// Characters `from` … `to` of a message, 1-based and inclusive as the meter protocol counts.
std::string at(const std::string& m, std::size_t from, std::size_t to) {
    return m.substr(from - 1, to - from + 1);
}
std::size_t pos1(const std::string& m, char c, std::size_t from1 = 1) {
    return m.find(c, from1 - 1) + 1;
}

DataWords sampleWords() {
    DataWords w;
    for (std::size_t i = 0; i < w.decimals.size(); ++i) w.decimals[i] = 100.0 + i;
    w.integers = {70, 0, 12, 105};
    return w;
}

TEST(MeterMessages, PollIsHq2AndTheIdWithinThePollLengths) {
    const std::string poll = buildPoll(kId);
    EXPECT_EQ(poll, "HQ2 " + kId);
    EXPECT_GE(poll.size() + kCrLf.size(), 16u);
    EXPECT_LE(poll.size() + kCrLf.size(), 29u);
    EXPECT_EQ(buildPoll("SHORT"), "HQ2 SHORT0000000");
}

TEST(MeterMessages, DataMessageFieldsSitAtTheirPositionsForShortAndLongestAddresses) {
    for (const std::string ip : {"", "1.2.3.4", "192.168.1.20", "255.255.255.255"}) {
        SCOPED_TRACE(ip);
        const std::string m = buildDataMessage(kId, ip, 240802, 86400, sampleWords());
        EXPECT_EQ(at(m, 1, 7), "HOQ-260");
        EXPECT_EQ(at(m, 10, 21), kId);
        EXPECT_EQ(at(m, 23, 24), "IP");
        EXPECT_EQ(at(m, 25, 25), "=");
        EXPECT_EQ(m.substr(25, ip.size() + 1), ip + " ");

        const std::size_t open = pos1(m, '['), close = pos1(m, ']');
        EXPECT_GE(open, 30u);
        EXPECT_LE(close, 54u);
        EXPECT_EQ(m.substr(open, close - open - 1), "240802");

        const std::size_t lt = pos1(m, '<'), gt = pos1(m, '>');
        EXPECT_GE(lt, 34u);
        EXPECT_LE(gt, 69u);
        EXPECT_EQ(m.substr(lt, gt - lt - 1), "86400");

        // Words start two characters after '>' and every word, the 25th too, ends with one space.
        const std::string words = m.substr(gt + 1);
        ASSERT_FALSE(words.empty());
        EXPECT_NE(words.front(), ' ');
        EXPECT_EQ(words.back(), ' ');
        std::vector<std::string> split;
        std::size_t start = 0;
        for (std::size_t sp = words.find(' '); sp != std::string::npos;
             start = sp + 1, sp = words.find(' ', start))
            split.push_back(words.substr(start, sp - start));
        ASSERT_EQ(split.size(), static_cast<std::size_t>(kDataWordCount));
        EXPECT_EQ(split[0], "100.0");
        EXPECT_EQ(split[6], "106.00");
        EXPECT_EQ(split[9], "109.000");
        EXPECT_EQ(split[20], "120.000");
        EXPECT_EQ(split[21], "70");
        EXPECT_EQ(split[23], "12");
        EXPECT_EQ(split[24], "105");
        for (const auto& w : split) EXPECT_FALSE(w.empty());
    }
}

TEST(MeterMessages, DeviceMessageCarriesModelProjectAndNineteenWords) {
    DeviceInfo info;
    info.model = "HOQ-250";
    info.id = kId;
    info.modelText = "HOQ-250 1P";
    info.project = "Shop";
    info.cfg1 = 7;
    info.word2 = 8;
    info.cfg3 = 9;
    info.params[0] = 1.5;
    info.params[14] = 15.25;
    info.tag = "TAGX";
    const std::string m = buildDeviceMessage(info);
    EXPECT_EQ(at(m, 1, 11), "HOQ-250 PWR");
    EXPECT_EQ(at(m, 13, 24), kId);
    const std::size_t open = pos1(m, '[', 22), close = pos1(m, ']', open);
    EXPECT_EQ(m.substr(open, close - open - 1), "HOQ-250 1P");
    const std::size_t lt = pos1(m, '<', 25), gt = pos1(m, '>', lt);
    EXPECT_EQ(m.substr(lt, gt - lt - 1), "Shop");
    EXPECT_EQ(m.substr(gt),
              " 7 8 9 1.50 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 "
              "15.25 TAGX");
}

TEST(MeterMessages, AdcReportHasSixFieldsEachClosedByAnUnderscore) {
    AdcFields f;
    f.adc1 = 3;
    f.adc2 = 4.5;
    f.adc3 = 6;
    f.text1 = "a";
    f.text2 = "b";
    f.text3 = "c";
    const std::string m = buildAdcReport(kId, f);
    EXPECT_EQ(at(m, 1, 12), "HQ2 SYS ADC ");
    EXPECT_EQ(at(m, 13, 24), kId);
    EXPECT_EQ(m.substr(25), "3_4.50_6.00_a_b_c_");
}

TEST(MeterMessages, MeterIdsAreTwelveCharactersAndDistinct) {
    EXPECT_EQ(meterId("SIM", 1), "SIM000000001");
    EXPECT_EQ(meterId("SIM", 200), "SIM000000200");
    EXPECT_EQ(meterId("LONGPREFIX1234", 7).size(), 12u);
    EXPECT_NE(meterId("ABCDEFGHIJK", 1), meterId("ABCDEFGHIJK", 2));
}

}  // namespace
}  // namespace tev::sim
