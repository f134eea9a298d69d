#include <gtest/gtest.h>

#include <random>

#include "core/meterlink/meter_link.h"
#include "tests/core/meterlink/meter_link_fixture.h"

namespace tev::testing {
namespace {

using namespace std::string_literals;

constexpr int kDate = 240802;
constexpr int kAt0805 = 8 * 3600 + 5 * 60;

std::string withWord(int index, const std::string& text) {
    WordTexts words = typicalWords();
    words[index] = text;
    return dataMessage(kMeterA, kDate, kAt0805, words);
}

std::string garbage(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xff);
    return bytes;
}

std::vector<std::string> malformedMessages() {
    const std::string valid = dataMessage(kMeterA, kDate, kAt0805);
    std::vector<std::string> messages = {
        "",
        "H",
        "\r",
        std::string(1, '\0'),
        "HQ2 ",
        "HQ2 SYS ADC ",
        "HOQ-260 PWR",
        "HOQ-260",
        "HQ2 SYS ADC " + std::string(kMeterA) + " x_1_2_a_b_c_\r",
        "HQ2 SYS ADC " + std::string(kMeterA) + " 1_9e99_2_a_b_c_\r",
        "HQ2 SYS ADC " + std::string(kMeterA) + " __________\r",
        "HOQ-260 PWR " + std::string(kMeterA) + " [m] <p> 1 2 3 4.0 x\r",
        "HOQ-260 PWR " + std::string(kMeterA) + " [m] <p>  1 2 3\r",
        "HOQ-260 PWR " + std::string(kMeterA) + " [m] <p> 1.5 2 3\r",
        withWord(0, "abc"),  // a word without any digit
        withWord(3, ""),     // two spaces in a row
        withWord(4, "1.2.3"),
        withWord(21, "7.5"),  // an integer word with a fraction
        withWord(24, "99999999999"),
        withWord(9, std::string(200, '9')),
        valid.substr(0, valid.size() - 4) + "\r",  // 24 words, the last without its space
        "HOQ-260  " + std::string(kMeterA) + " IP=1.2.3.4 [24x802] <29100> 1 \r",
        "HOQ-260  " + std::string(kMeterA) + " IP=1.2.3.4 [240802] <99999999999> 1 \r",
        "HOQ-260  " + std::string(kMeterA) + " IP=1.2.3.4 [240802] <> 1 2 \r",
        "HOQ-260  0123\0"
        "56789AB IP=1.2.3.4 [240802] <29100> 1 2 \r"s,
        "HOQ-260  \xc3\xa4\xc3\xb6\xc3\xbc\xe6\x97\xa5\xe6\x9c IP=\xff\xfe [240802] <29100> 1 \r",
        "HOQ-260" + garbage(10000, 1),
        "HQ2 SYS ADC " + garbage(10000, 2),
        "HOQ-250 PWR " + garbage(10000, 3),
        garbage(10000, 4),
    };
    // The valid message cut inside and at the ends of each fixed window.
    for (std::size_t cut :
         {7u, 9u, 20u, 21u, 23u, 24u, 25u, 29u, 30u, 40u, 53u, 54u, 60u, 68u, 69u, 100u, 140u})
        messages.push_back(valid.substr(0, cut));
    return messages;
}

TEST_F(MeterLinkTest, MalformedMessagesKeepEarlierValuesAndAValidMessageAfterEachIsAccepted) {
    link->handleMessage(dataMessage(kMeterA, kDate, kAt0805));
    int round = 0;
    for (const std::string& bad : malformedMessages()) {
        SCOPED_TRACE(::testing::Message()
                     << "message #" << round << " of " << bad.size() << " bytes");
        const std::uint64_t before = link->counters().handled;
        EXPECT_NO_THROW(link->handleMessage(bad));
        EXPECT_EQ(link->counters().handled, before);
        EXPECT_FLOAT_EQ(row(0).V1, 230.0f);
        EXPECT_FLOAT_EQ(row(0).Energy[0], 10.5f);
        EXPECT_EQ(row(0).Field25, 8);
        EXPECT_EQ(store->registry.MeterCount, 1);

        WordTexts words = typicalWords();
        words[1] = std::to_string(200 + round);
        link->handleMessage(dataMessage(kMeterA, kDate, kAt0805, words));
        EXPECT_EQ(link->counters().handled, before + 1);
        EXPECT_FLOAT_EQ(row(0).V2, static_cast<float>(200 + round));
        EXPECT_FLOAT_EQ(store->live.V2, static_cast<float>(200 + round));
        ++round;
    }
    EXPECT_GT(link->counters().abandoned, 0u);
    EXPECT_GT(link->counters().ignored, 0u);
}

TEST_F(MeterLinkTest, MeterIdThatCannotNameAFileIsNotRegistered) {
    link->handleMessage(dataMessage("../../etc/xx", kDate, kAt0805));
    link->handleMessage(
        deviceMessage("ab\\cd\x01"
                      "fghijk"));
    EXPECT_EQ(store->registry.MeterCount, 0);
    EXPECT_EQ(link->counters().ignored, 2u);

    // Inside a data word a NUL byte is dropped like any other character that is not a digit.
    link->handleMessage(withWord(5, "1\0"s + "2"));
    EXPECT_FLOAT_EQ(row(0).Field6, 12.0f);
}

}  // namespace
}  // namespace tev::testing
