#include "window/mainwindow/event_log_memo.h"

#include <gtest/gtest.h>

#include <QTextBlock>

#include "tests/support/fake_clock.h"
#include "tests/support/qt_application.h"

namespace tev::testing {
namespace {

QStringList memoLines(const QPlainTextEdit& memo) {
    QStringList lines;
    for (QTextBlock b = memo.document()->begin(); b.isValid(); b = b.next()) lines << b.text();
    return lines;
}

TEST(EventLogMemo, StartsWithOneEmptyLineAndFollowsEveryAppend) {
    qtApplication();
    FakeClock clock;
    EventLog log(clock);
    EventLogMemo memo(log);
    EXPECT_EQ(memoLines(memo), QStringList{""});
    log.append("240802 8:5 Save TEV setting 用戶設定儲存 OK !");
    log.append(LanguageMode::English, " english", " 雙語");
    log.append(LanguageMode::Chinese, " english", " 雙語");
    EXPECT_EQ(memoLines(memo),
              (QStringList{"", QString::fromUtf8("240802 8:5 Save TEV setting 用戶設定儲存 OK !"),
                           " english"}));
}

TEST(EventLogMemo, ClearEmptiesTheMemoAndTheNextLineIsTheFirst) {
    qtApplication();
    FakeClock clock;
    EventLog log(clock);
    EventLogMemo memo(log);
    log.append("one");
    log.clear();
    EXPECT_TRUE(memo.toPlainText().isEmpty());
    log.append("after reset");
    EXPECT_EQ(memoLines(memo), QStringList{"after reset"});
}

TEST(EventLogMemo, KeepsNoMoreLinesThanTheLogHolds) {
    qtApplication();
    FakeClock clock;
    EventLog log(clock, 3);
    EventLogMemo memo(log);
    for (const char* line : {"a", "b", "c", "d", "e"}) log.append(line);
    EXPECT_EQ(memoLines(memo), (QStringList{"c", "d", "e"}));
    EXPECT_EQ(memo.document()->blockCount(), 3);
}

TEST(EventLogMemo, ShortensLongLinesAndDropsTheOldestOnceItsTextBoundIsReached) {
    qtApplication();
    FakeClock clock;
    EventLog log(clock, 1000000, 1u << 30);
    EventLogMemo memo(log);
    log.append(std::string(5000, 'x'));
    const QStringList lines = memoLines(memo);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1], QString(EventLogMemo::kMaxLineChars, 'x') + QString::fromUtf8("…"));

    const int perLine = static_cast<int>(EventLogMemo::kMaxLineChars) + 1;
    const int linesToFill = static_cast<int>(EventLogMemo::kMaxChars) / perLine + 10;
    for (int i = 0; i < linesToFill; ++i) log.append(std::to_string(i) + std::string(2000, 'y'));
    EXPECT_LE(memo.shownChars(), EventLogMemo::kMaxChars);
    EXPECT_LE(memo.document()->characterCount(),
              static_cast<int>(EventLogMemo::kMaxChars) + memo.document()->blockCount());
    EXPECT_TRUE(memo.document()->lastBlock().text().startsWith(QString::number(linesToFill - 1)));
    EXPECT_EQ(memo.document()->blockCount(), static_cast<int>(EventLogMemo::kMaxChars) / perLine);
}

}  // namespace
}  // namespace tev::testing
