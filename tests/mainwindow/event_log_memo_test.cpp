#include "mainwindow/event_log_memo.h"

#include <gtest/gtest.h>

#include <QTextBlock>

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
    EventLog log;
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
    EventLog log;
    EventLogMemo memo(log);
    log.append("one");
    log.clear();
    EXPECT_TRUE(memo.toPlainText().isEmpty());
    log.append("after reset");
    EXPECT_EQ(memoLines(memo), QStringList{"after reset"});
}

TEST(EventLogMemo, KeepsNoMoreLinesThanTheLogHolds) {
    qtApplication();
    EventLog log(3);
    EventLogMemo memo(log);
    for (const char* line : {"a", "b", "c", "d", "e"}) log.append(line);
    EXPECT_EQ(memoLines(memo), (QStringList{"c", "d", "e"}));
    EXPECT_EQ(memo.document()->blockCount(), 3);
}

}  // namespace
}  // namespace tev::testing
