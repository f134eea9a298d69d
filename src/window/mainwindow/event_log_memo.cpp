#include "window/mainwindow/event_log_memo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

namespace tev {

namespace {
const QString kEllipsis = QStringLiteral("…");
}

EventLogMemo::EventLogMemo(EventLog& log, QWidget* parent)
    : QPlainTextEdit(parent), capacity_(log.capacity()) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUndoRedoEnabled(false);

    QStringList text;
    for (const std::string& line : log.lines()) {
        text << shownText(line);
        lineChars_.push_back(text.back().size());
        shownChars_ += static_cast<std::size_t>(text.back().size());
    }
    setPlainText(text.join(QChar('\n')));
    while (lineChars_.size() > capacity_ || (shownChars_ > kMaxChars && lineChars_.size() > 1))
        dropOldestLine();

    log.addListener([this](const std::string& line) { appendLine(line); });
    log.addClearListener([this] { clearLines(); });
}

QString EventLogMemo::shownText(const std::string& line) {
    QString text = QString::fromStdString(line);
    if (text.size() > kMaxLineChars) {
        text.truncate(kMaxLineChars);
        // A cut between the halves of a surrogate pair would leave half a character.
        if (text.back().isHighSurrogate()) text.chop(1);
        text += kEllipsis;
    }
    return text;
}

void EventLogMemo::appendLine(const std::string& line) {
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    const QString text = shownText(line);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // An empty memo shows no line at all, yet its document holds one empty block: the first
    // line goes into that block.
    if (!lineChars_.empty()) cursor.insertBlock();
    cursor.insertText(text);
    lineChars_.push_back(text.size());
    shownChars_ += static_cast<std::size_t>(text.size());
    while (lineChars_.size() > capacity_ || (shownChars_ > kMaxChars && lineChars_.size() > 1))
        dropOldestLine();
    if (atEnd) bar->setValue(bar->maximum());
}

void EventLogMemo::dropOldestLine() {
    QTextCursor cursor(document()->firstBlock());
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    shownChars_ -= static_cast<std::size_t>(lineChars_.front());
    lineChars_.pop_front();
}

void EventLogMemo::clearLines() {
    clear();
    lineChars_.clear();
    shownChars_ = 0;
}

}  // namespace tev
