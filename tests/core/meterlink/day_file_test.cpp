#include "core/meterlink/day_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/core/meterlink/meter_link_fixture.h"

namespace tev::testing {
namespace {

constexpr int kDate = 240802;
constexpr int kAt0805 = 8 * 3600 + 5 * 60;
constexpr int kAt2358 = 23 * 3600 + 58 * 60;
constexpr int kAt2359 = 23 * 3600 + 59 * 60;
constexpr int kAt0010 = 10 * 60;

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

WordTexts withDayEnergy(const std::string& energy) {
    WordTexts words = typicalWords();
    words[9] = energy;
    return words;
}

// The line the meter day of these tests gives: 10.5 at 08:05 (slot 48), 20.25 at 23:58 (slot 143).
std::string expectedLine(int date) {
    std::string line = std::to_string(date) + ",10.50,";
    for (int i = 0; i < 144; ++i) line += i == 48 ? "10.50," : i == 143 ? "20.25," : "0.00,";
    return line + "\r";
}

TEST(DayFileLine, FormatsEveryFieldWithTwoDecimalsAndEndsWithCarriageReturnOnly) {
    std::array<float, kTenMinuteSlotCount> slots{};
    slots[0] = 12.3f;
    slots[143] = 0.125f;
    slots[144] = 99.0f;  // beyond the day, never written
    const std::string line = dayFileLine(240802, 7.0f, slots);
    EXPECT_TRUE(line.starts_with("240802,7.00,12.30,0.00,"));
    EXPECT_TRUE(line.ends_with(",0.13,\r"));
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 146);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(dayFileName("0123456789AB"), "M10_0123456789AB.txt");
}

TEST_F(MeterLinkTest, DayFileIsWrittenOncePerMeterDayAndReArmedAfterMidnight) {
    const std::string path = directory + "/M10_0123456789AB.txt";
    link->handleMessage(dataMessage(kMeterA, kDate, kAt0805));
    log.clear();

    link->handleMessage(dataMessage(kMeterA, kDate, kAt2358, withDayEnergy("20.25")));
    EXPECT_EQ(fileBytes(path), expectedLine(kDate));
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0], "HQ2 0123456789AB: M10 Save File= [" + path + "] ");
    EXPECT_EQ(log.lines()[1], "HQ2: [0123456789AB] 10-Min= 1 Save OK !");
    EXPECT_EQ(row(0).DayFileSaved, 1);
    EXPECT_EQ(row(0).TenMinuteSlots[143], 0.0f);

    link->handleMessage(dataMessage(kMeterA, kDate, kAt2359, withDayEnergy("20.25")));
    EXPECT_EQ(fileBytes(path), expectedLine(kDate));
    EXPECT_EQ(log.lines().size(), 2u);

    link->handleMessage(dataMessage(kMeterA, 240803, kAt0010, withDayEnergy("0.5")));
    EXPECT_EQ(row(0).DayFileSaved, 0);

    // The next night appends a second line to the same file.
    link->handleMessage(dataMessage(kMeterA, 240803, kAt2358, withDayEnergy("3")));
    const std::string bytes = fileBytes(path);
    EXPECT_TRUE(bytes.starts_with(expectedLine(kDate)));
    EXPECT_TRUE(
        bytes.substr(expectedLine(kDate).size()).starts_with("240803,0.50,0.00,0.50,0.00,"));
    EXPECT_EQ(lastLine(), "HQ2: [0123456789AB] 10-Min= 2 Save OK !");
}

TEST_F(MeterLinkTest, TwoMetersWriteTwoFilesNamedAfterTheirIds) {
    link->handleMessage(dataMessage(kMeterA, kDate, kAt2358));
    link->handleMessage(dataMessage(kMeterB, kDate, kAt0805));
    link->handleMessage(dataMessage(kMeterB, kDate, kAt2358));
    EXPECT_TRUE(std::filesystem::exists(directory + "/M10_0123456789AB.txt"));
    EXPECT_TRUE(std::filesystem::exists(directory + "/M10_HOQ000000002.txt"));
    EXPECT_EQ(row(1).DayFileCount, 1);
}

TEST_F(MeterLinkTest, UnwritableDayFileIsReportedOnceAndRetriedUntilSaved) {
    const std::string missing = directory + "/not-yet";
    link = std::make_unique<MeterLink>(*store, log, tones, clock, language, missing);
    link->handleMessage(dataMessage(kMeterA, kDate, kAt0805));
    log.clear();

    link->handleMessage(dataMessage(kMeterA, kDate, kAt2358, withDayEnergy("20.25")));
    const std::string path = missing + "/M10_0123456789AB.txt";
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0], "HQ2 0123456789AB: M10 Save File= [" + path + "] ");
    EXPECT_EQ(log.lines()[1], "HQ2: [0123456789AB] 10-Min Save fail: No such file or directory !");
    EXPECT_EQ(row(0).DayFileSaved, 0);
    EXPECT_EQ(row(0).DayFileCount, 0);

    link->handleMessage(dataMessage(kMeterA, kDate, kAt2358 + 20, withDayEnergy("20.25")));
    EXPECT_EQ(log.lines().size(), 2u);

    std::filesystem::create_directory(missing);
    link->handleMessage(dataMessage(kMeterA, kDate, kAt2359, withDayEnergy("20.25")));
    EXPECT_EQ(lastLine(), "HQ2: [0123456789AB] 10-Min= 1 Save OK !");
    EXPECT_EQ(fileBytes(path), expectedLine(kDate).replace(7, 5, "20.25"));
    EXPECT_EQ(row(0).DayFileSaved, 1);
}

}  // namespace
}  // namespace tev::testing
