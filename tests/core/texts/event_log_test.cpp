#include "core/texts/event_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/fake_clock.h"

namespace tev {
namespace {

TEST(SafeLogText, DropsControlCharactersAndMarksBytesThatAreNotUtf8) {
    EXPECT_EQ(safeLogText("240802 8:5 Save TEV setting 用戶設定儲存 OK !"),
              "240802 8:5 Save TEV setting 用戶設定儲存 OK !");
    EXPECT_EQ(safeLogText("a\x1b"
                          "c\r\n\t\x7f"
                          "b"),
              "acb");
    EXPECT_EQ(safeLogText("C1 \xc2\x9b"
                          "2J raw \x9b"
                          "2J"),
              "C1 2J raw ?2J");
    EXPECT_EQ(safeLogText("cut \xe6\x97"), "cut ??");
    EXPECT_EQ(safeLogText("overlong \xc0\xaf surrogate \xed\xa0\x80"), "overlong ?? surrogate ???");
    EXPECT_EQ(safeLogText(std::string("nul\0x", 5)), "nulx");
}

TEST(EventLog, KeepsTheNewestLinesWithinItsByteBoundAndCleansEveryLine) {
    testing::FakeClock clock;
    EventLog log(clock, 1000, 100);
    std::vector<std::string> echoed;
    log.addListener([&](const std::string& line) { echoed.push_back(line); });
    for (int i = 0; i < 30; ++i)
        log.append(std::string(9, static_cast<char>('a' + i % 26)) + "\x1b");
    EXPECT_LE(log.bytes(), 100u);
    EXPECT_EQ(log.lines().size(), 11u);
    EXPECT_EQ(log.lines().back(), "ddddddddd");
    EXPECT_EQ(echoed.back(), "ddddddddd");
    // A line longer than the whole bound is still kept, alone.
    log.append(std::string(500, 'x'));
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.bytes(), 500u);
    log.clear();
    EXPECT_EQ(log.bytes(), 0u);
}

TEST(EventLog, FloodFromOneSourceIsSummedUpAfterItsWindowWhileOtherLinesPass) {
    testing::FakeClock clock;
    EventLog log(clock);
    clock.setSteadyMs(1000);
    {
        LogSource flood(7);
        for (int i = 0; i < 1000; ++i) log.append("[HQ2 SYS ADC flood] " + std::to_string(i));
        LogSource other(8);
        log.append("another connection");
    }
    log.append("not from the network");
    EXPECT_EQ(log.lines().size(), 1 + EventLog::kSourceLinesPerWindow + 2);
    EXPECT_EQ(log.lines().back(), "not from the network");
    EXPECT_EQ(log.suppressedLines(), 1000 - EventLog::kSourceLinesPerWindow);

    log.flushSuppressed();  // the window has not passed
    EXPECT_EQ(log.lines().back(), "not from the network");
    clock.advance(std::chrono::milliseconds(EventLog::kSourceWindowMs));
    log.flushSuppressed();
    EXPECT_EQ(log.lines().back(), "… 880 similar lines suppressed");

    // A new window lets the source write again.
    LogSource flood(7);
    log.append("after the window");
    EXPECT_EQ(log.lines().back(), "after the window");
}

TEST(EventLog, SourceThatGoesOnWritingGetsItsSummaryBeforeItsNextLine) {
    testing::FakeClock clock;
    EventLog log(clock);
    LogSource source(1);
    for (std::size_t i = 0; i <= EventLog::kSourceLinesPerWindow; ++i) log.append("line");
    clock.advance(std::chrono::milliseconds(EventLog::kSourceWindowMs + 1));
    log.append("next");
    ASSERT_GE(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[log.lines().size() - 2], "… 1 similar lines suppressed");
    EXPECT_EQ(log.lines().back(), "next");
}

TEST(EventLog, FloodSpreadOverAThousandConnectionsStaysWithinThePortBudgetEachMinute) {
    testing::FakeClock clock;
    EventLog log(clock);
    std::size_t bytesThisMinute = 0;
    std::size_t linesThisMinute = 0;
    std::size_t worstBytes = 0;
    std::size_t worstLines = 0;
    std::vector<std::string> summaries;
    std::uint64_t shown = 0;
    log.addListener([&](const std::string& line) {
        bytesThisMinute += line.size() + 1;
        ++linesThisMinute;
        if (line.rfind("… ", 0) == 0) summaries.push_back(line);
        if (line.size() > 4000) ++shown;
    });
    // The longest ADC report the meter port lets through, logged whole, by 1000 connections,
    // each one report a second for ten minutes: 600,000 lines of about 4 KB.
    const std::string adcLine = "[HQ2 SYS ADC " + std::string(4090, 'x') + "] 4096";
    std::uint64_t written = 0;
    for (int minute = 0; minute < 10; ++minute) {
        for (int second = 0; second < 60; ++second) {
            clock.setSteadyMs(minute * 60000 + second * 1000);
            for (std::uint64_t connection = 0; connection < 1000; ++connection) {
                LogSource source(connection);
                log.append(adcLine);
                ++written;
            }
            log.flushSuppressed();
        }
        worstBytes = std::max(worstBytes, bytesThisMinute);
        worstLines = std::max(worstLines, linesThisMinute);
        bytesThisMinute = linesThisMinute = 0;
    }
    EXPECT_LT(worstBytes, 2u * 1024 * 1024);
    EXPECT_LE(worstLines, EventLog::kPortLinesPerWindow + 1);
    ASSERT_FALSE(summaries.empty());
    // Everything held back is told: the lines written plus the summed-up counts are all lines.
    clock.advance(std::chrono::milliseconds(EventLog::kSourceWindowMs));
    log.flushSuppressed();
    std::uint64_t told = 0;
    for (const std::string& s : summaries) told += std::stoull(s.substr(std::string("… ").size()));
    EXPECT_EQ(shown + told, written);
}

TEST(EventLog, ConnectLinesGetThroughWhenThePortBudgetIsSpent) {
    testing::FakeClock clock;
    EventLog log(clock);
    for (std::uint64_t connection = 0; connection < 100; ++connection) {
        LogSource source(connection);
        for (int i = 0; i < 10; ++i) log.append("flood");
    }
    LogSource meter(500);
    log.append("an ordinary line of a real meter");
    EXPECT_NE(log.lines().back(), "an ordinary line of a real meter");
    log.appendAlways(LanguageMode::English, "2024/8/2 8:5 > HOQ Connect 10.0.0.7  ID: M00000000001",
                     "bilingual");
    EXPECT_EQ(log.lines().back(), "2024/8/2 8:5 > HOQ Connect 10.0.0.7  ID: M00000000001");
    // The next window begins with the port's summary of what it held back.
    clock.advance(std::chrono::milliseconds(EventLog::kSourceWindowMs));
    log.flushSuppressed();
    EXPECT_EQ(log.lines().back(), "… 401 similar lines suppressed");
    log.append("heard again");
    EXPECT_EQ(log.lines().back(), "heard again");
}

}  // namespace
}  // namespace tev
