#pragma once

#include <QPlainTextEdit>
#include <cstddef>
#include <deque>
#include <string>

#include "core/texts/event_log.h"

namespace tev {

// The memo m1: shows the event log line for line, follows every append and every clear, and
// keeps no more lines than the log itself. Its text is bounded too: a line longer than
// kMaxLineChars shows its beginning and an ellipsis, and the oldest lines go once the memo
// holds more than kMaxChars characters.
class EventLogMemo : public QPlainTextEdit {
    Q_OBJECT
  public:
    static constexpr qsizetype kMaxLineChars = 1000;
    static constexpr std::size_t kMaxChars = 4 * 1024 * 1024;

    // `log` must outlive the memo's use; the memo subscribes to it.
    explicit EventLogMemo(EventLog& log, QWidget* parent = nullptr);

    std::size_t shownChars() const { return shownChars_; }

  private:
    void appendLine(const std::string& line);
    void clearLines();
    void dropOldestLine();
    static QString shownText(const std::string& line);

    std::size_t capacity_;
    // Characters of each line shown, oldest first.
    std::deque<qsizetype> lineChars_;
    std::size_t shownChars_ = 0;
};

}  // namespace tev
