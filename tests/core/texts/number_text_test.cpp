#include "core/texts/number_text.h"

#include <gtest/gtest.h>

#include "core/texts/event_log.h"
#include "tests/support/fake_clock.h"

namespace tev {
namespace {

TEST(NumberText, PictureFormatsRoundWithPointAndNoSeparators) {
    EXPECT_EQ(format2(9.999), "10.00");
    EXPECT_EQ(format2(12.3), "12.30");
    EXPECT_EQ(format2(0), "0.00");
    EXPECT_EQ(format2(12345.0f * 0.001f), "12.35");
    EXPECT_EQ(format2(999 * 0.001), "1.00");
    EXPECT_EQ(format1(999999.875f), "999999.9");
    EXPECT_EQ(format1(1234567.25), "1234567.3");
    EXPECT_EQ(format1(-3.25), "-3.3");
    EXPECT_EQ(format2(-0.001), "0.00");
    EXPECT_EQ(format0(229.6), "230");
    EXPECT_EQ(format2(0.005), "0.01");
}

TEST(NumberText, DateCodeAndStampsHaveNoLeadingZeros) {
    EXPECT_EQ(dateCode(2024, 8, 2), 240802);
    EXPECT_EQ(dateCode(2009, 12, 31), 91231);
    EXPECT_EQ(monthCode(2024, 8), 2408);
    const DateTime t{2024, 8, 2, 8, 5, 0, 0};
    EXPECT_EQ(logStamp(t), "240802 8:5");
    EXPECT_EQ(startupStamp(t), "2024/8/2 8:5");
    EXPECT_EQ(logStamp(DateTime{2009, 12, 31, 23, 59, 59, 0}), "91231 23:59");
}

TEST(NumberText, WeekDayIsZeroOnSunday) {
    EXPECT_EQ(weekDayOf(2024, 8, 4), 0);  // Sunday
    EXPECT_EQ(weekDayOf(2024, 8, 2), 5);  // Friday
    EXPECT_EQ(weekDayOf(2000, 1, 1), 6);  // Saturday
    EXPECT_EQ(weekDayOf(2009, 12, 31), 4);
    EXPECT_EQ(weekDayOf(2024, 2, 29), 4);
}

TEST(EventLog, StartsWithOneEmptyLineKeepsOrderAndFollowsTheLanguageRule) {
    testing::FakeClock clock;
    EventLog log(clock, 4);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], "");
    std::vector<std::string> seen;
    log.addListener([&](const std::string& l) { seen.push_back(l); });
    log.append(LanguageMode::English, "E", "B");
    log.append(LanguageMode::Bilingual, "E", "B");
    log.append(LanguageMode::Chinese, "E", "B");
    EXPECT_EQ(seen, (std::vector<std::string>{"E", "B"}));
    log.append("x");
    log.append("y");  // over capacity: the oldest line goes
    ASSERT_EQ(log.lines().size(), 4u);
    EXPECT_EQ(log.lines().front(), "E");
    EXPECT_EQ(log.lines().back(), "y");
    log.clear();
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace tev
