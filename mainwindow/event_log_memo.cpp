#include "mainwindow/event_log_memo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <climits>

namespace tev {

EventLogMemo::EventLogMemo(EventLog& log, QWidget* parent)
    : QPlainTextEdit(parent), capacity_(log.capacity()) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUndoRedoEnabled(false);
    document()->setMaximumBlockCount(
        static_cast<int>(std::min<std::size_t>(capacity_, static_cast<std::size_t>(INT_MAX))));

    QStringList text;
    for (const std::string& line : log.lines()) text << QString::fromStdString(line);
    setPlainText(text.join(QChar('\n')));
    shownLines_ = log.lines().size();

    log.addListener([this](const std::string& line) { appendLine(line); });
    log.addClearListener([this] { clearLines(); });
}

void EventLogMemo::appendLine(const std::string& line) {
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // An empty memo shows no line at all, yet its document holds one empty block: the first
    // line goes into that block.
    if (shownLines_ > 0) cursor.insertBlock();
    cursor.insertText(QString::fromStdString(line));
    shownLines_ = std::min(shownLines_ + 1, capacity_);
    if (atEnd) bar->setValue(bar->maximum());
}

void EventLogMemo::clearLines() {
    clear();
    shownLines_ = 0;
}

}  // namespace tev
