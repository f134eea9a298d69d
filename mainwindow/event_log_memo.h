#pragma once

#include <QPlainTextEdit>
#include <cstddef>
#include <string>

#include "texts/event_log.h"

namespace tev {

// The memo m1: shows the event log line for line, follows every append and every clear, and
// keeps no more lines than the log itself.
class EventLogMemo : public QPlainTextEdit {
    Q_OBJECT
  public:
    // `log` must outlive the memo's use; the memo subscribes to it.
    explicit EventLogMemo(EventLog& log, QWidget* parent = nullptr);

  private:
    void appendLine(const std::string& line);
    void clearLines();

    std::size_t capacity_;
    std::size_t shownLines_ = 0;
};

}  // namespace tev
