#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/meterlink/message_fields.h"
#include "tests/core/meterlink/meter_link_fixture.h"

namespace tev::testing {
namespace {

constexpr int kDate = 240802;
constexpr int kAt0805 = 8 * 3600 + 5 * 60;
constexpr int kAt2358 = 23 * 3600 + 58 * 60;
constexpr int kAt0001 = 60;

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t lineCount(const std::string& path) {
    const std::string bytes = fileBytes(path);
    return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\r'));
}

// The data message as a meter without a line end sends it: the space after word 25 is the
// message's last character, its terminator.
std::string withoutLineEnd(const std::string& message) {
    return message.substr(0, message.size() - 1);
}

TEST_F(MeterLinkTest, TwentyFifthWordWithoutItsSpaceIsSkippedAndTheRestHandled) {
    link->handleMessage(dataMessage(kMeterA, kDate, kAt0805));
    ASSERT_EQ(row(0).Field25, 8);

    WordTexts words = typicalWords();
    words[1] = "215.5";
    words[23] = "41";
    words[24] = "99";
    const std::uint64_t handled = link->counters().handled;
    link->handleMessage(withoutLineEnd(dataMessage(kMeterA, kDate, kAt0805 + 1, words)));
    EXPECT_EQ(link->counters().handled, handled + 1);
    EXPECT_FLOAT_EQ(row(0).V2, 215.5f);
    EXPECT_FLOAT_EQ(store->live.V2, 215.5f);
    EXPECT_EQ(row(0).Field24, 41);
    EXPECT_EQ(row(0).Field25, 8);  // word 25 not taken

    // A first message of that form registers a meter with Field25 at 0.
    link->handleMessage(withoutLineEnd(dataMessage(kMeterB, kDate, kAt0805, words)));
    ASSERT_EQ(store->registry.MeterCount, 2);
    EXPECT_EQ(row(1).Field24, 41);
    EXPECT_EQ(row(1).Field25, 0);

    // Twenty-three words and a last one without its space are still too few.
    const std::string short24 = dataMessage(kMeterA, kDate, kAt0805);
    const std::string cut = short24.substr(0, short24.size() - 4);  // drop " 8 \r" -> "... 7"
    link->handleMessage(cut.substr(0, cut.rfind(' ')) + "\r");
    EXPECT_EQ(link->counters().handled, handled + 2);
}

TEST(ParseTruncatedDecimal, CutsTheFractionTowardZeroFromTheDigitsExactly) {
    EXPECT_EQ(parseTruncatedDecimal("123456789.9"), 123456789);
    EXPECT_EQ(parseTruncatedDecimal("99.999999"), 99);
    EXPECT_EQ(parseTruncatedDecimal("-3.75"), -3);
    EXPECT_EQ(parseTruncatedDecimal("-0.5"), 0);
    EXPECT_EQ(parseTruncatedDecimal(".5"), 0);
    EXPECT_EQ(parseTruncatedDecimal("7."), 7);
    EXPECT_EQ(parseTruncatedDecimal("0002147483647.99"), 2147483647);
    EXPECT_EQ(parseTruncatedDecimal("-2147483648.9"), -2147483648LL);
    EXPECT_EQ(parseTruncatedDecimal("2147483648"), std::nullopt);
    EXPECT_EQ(parseTruncatedDecimal("-2147483649"), std::nullopt);
    EXPECT_EQ(parseTruncatedDecimal("1e5"), std::nullopt);
    EXPECT_EQ(parseTruncatedDecimal("1.2.3"), std::nullopt);
    EXPECT_EQ(parseTruncatedDecimal(""), std::nullopt);
    EXPECT_EQ(parseTruncatedDecimal("+1"), std::nullopt);
}

TEST_F(MeterLinkTest, AdcFieldsTwoAndThreeKeepEveryDigitOfTheirIntegerPart) {
    link->handleMessage(dataMessage(kMeterA, kDate, kAt0805));
    link->handleMessage("HQ2 SYS ADC " + std::string(kMeterA) +
                        " 5_123456789.9_99.999999_a_b_c_\r");
    EXPECT_EQ(row(0).Adc1, 5);
    EXPECT_EQ(row(0).Adc2, 123456789);
    EXPECT_EQ(row(0).Adc3, 99);
}

TEST_F(MeterLinkTest, PrimaryMeterRegisteredByDataTakesNoModelOrProjectFromADeviceMessage) {
    // A device message sets the current model and project texts, then the link is switched off.
    link->handleMessage(deviceMessage(kMeterB));
    ASSERT_EQ(row(0).Model.view(), "HOQ-260 3P");
    link->linkSwitchedOff();

    link->handleMessage(dataMessage(kMeterA, kDate, kAt0805));
    ASSERT_EQ(store->registry.MeterCount, 1);
    EXPECT_EQ(row(0).Id.view(), kMeterA);
    // Row 0 keeps what it held: a data message does not register these fields.
    EXPECT_EQ(row(0).Model.view(), "HOQ-260 3P");
    EXPECT_EQ(row(0).Proj.view(), "Plant 7");
    row(0).Model.assign("kept");
    link->linkSwitchedOff();
    link->handleMessage(dataMessage(kMeterA, kDate, kAt0805));
    EXPECT_EQ(row(0).Model.view(), "kept");

    // A second meter appended by data takes the current texts, as its registration lists them.
    link->handleMessage(dataMessage(kMeterB, kDate, kAt0805));
    EXPECT_EQ(row(1).Model.view(), "HOQ-260 3P");
    EXPECT_EQ(row(1).Proj.view(), "Plant 7");
}

TEST_F(MeterLinkTest, ForgedTimesJumpingAroundMidnightWriteOneLinePerMeterDay) {
    const std::string path = directory + "/M10_0123456789AB.txt";
    link->handleMessage(dataMessage(kMeterA, kDate, kAt0805));
    for (int i = 0; i < 200; ++i) {
        link->handleMessage(dataMessage(kMeterA, kDate, kAt2358));
        link->handleMessage(dataMessage(kMeterA, kDate, kAt0001));
    }
    EXPECT_EQ(lineCount(path), 1u);
    EXPECT_EQ(row(0).DayFileCount, 1);

    // Dates that swing back and forth as well write each date once.
    for (int i = 0; i < 200; ++i) {
        const int date = i % 2 ? kDate : kDate + 1;
        link->handleMessage(dataMessage(kMeterA, date, kAt0001));
        link->handleMessage(dataMessage(kMeterA, date, kAt2358));
    }
    EXPECT_EQ(lineCount(path), 2u);
    EXPECT_TRUE(fileBytes(path).substr(fileBytes(path).find('\r') + 1).starts_with("240803,"));

    // The real next night still writes its line.
    link->handleMessage(dataMessage(kMeterA, kDate + 2, kAt0001));
    link->handleMessage(dataMessage(kMeterA, kDate + 2, kAt2358));
    EXPECT_EQ(lineCount(path), 3u);

    // A meter whose clock was set back writes again on another day of the computer's clock.
    clock.set(2024, 8, 3, 8, 5, 0);
    link->handleMessage(dataMessage(kMeterA, kDate, kAt0001));
    link->handleMessage(dataMessage(kMeterA, kDate, kAt2358));
    EXPECT_EQ(lineCount(path), 4u);
}

TEST_F(MeterLinkTest, MeterWithoutAValidDateWritesOneLinePerDayOfTheComputer) {
    const std::string path = directory + "/M10_0123456789AB.txt";
    link->handleMessage(dataMessage(kMeterA, 0, kAt0805));
    for (int i = 0; i < 50; ++i) {
        link->handleMessage(dataMessage(kMeterA, 0, kAt2358));
        link->handleMessage(dataMessage(kMeterA, 0, kAt0001));
    }
    EXPECT_EQ(lineCount(path), 1u);
    clock.set(2024, 8, 3, 0, 1, 0);
    link->handleMessage(dataMessage(kMeterA, 0, kAt0001));
    link->handleMessage(dataMessage(kMeterA, 0, kAt2358));
    EXPECT_EQ(lineCount(path), 2u);
}

TEST_F(MeterLinkTest, ControlCharactersFromTheNetworkNeverReachALogLine) {
    const std::string escape =
        "\x1b]0;owned\x07\x1b[2J\x9b"
        "1m";
    // A terminal reset (ESC c), a raw C1 byte, the same in UTF-8 and a bell in the IP text.
    const std::string ip =
        "10.0.0.1\x1b"
        "c\x9b\xc2\x9b\x07";
    link->handleMessage(dataMessage(kMeterA, kDate, kAt0805, typicalWords(), ip));
    link->handleMessage("HQ2 SYS ADC " + std::string(kMeterA) + " 1_2_3_" + escape + "_b_c_\r");
    link->handleMessage("HOQ-260 PWR " + std::string(kMeterB) + " [" + escape + "] <" + escape +
                        "> 1 2 3\r");
    ASSERT_GT(log.lines().size(), 3u);
    for (const std::string& line : log.lines()) {
        SCOPED_TRACE(line);
        for (char c : line) {
            const auto u = static_cast<unsigned char>(c);
            EXPECT_FALSE(u < 0x20 || u == 0x7f) << static_cast<int>(u);
        }
        EXPECT_EQ(line.find("\xc2\x9b"), std::string::npos);
    }
    EXPECT_EQ(log.lines()[1], "2024/8/2 8:5 > HOQ 連線 10.0.0.1c?  ID: 0123456789AB");
}

}  // namespace
}  // namespace tev::testing
