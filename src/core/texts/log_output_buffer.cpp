#include "core/texts/log_output_buffer.h"

#include <algorithm>

namespace tev {

std::string unwrittenLinesNote(std::uint64_t lines) {
    return "… " + std::to_string(lines) + " log lines not written to standard output";
}

LogOutputBuffer::LogOutputBuffer(std::size_t capacity) : capacity_(capacity) {}

bool LogOutputBuffer::push(std::string_view line) {
    if (closed_) return false;
    // A gap left by a single line too long for the buffer is told before the next line.
    if (dropped_ > 0 && empty()) queueNote();
    // The note is not counted: it stands in for lines the buffer already paid for.
    const std::size_t waiting = bytes_.size() - std::max(front_, noteEnd_);
    // While lines are being dropped, a line that happens to fit must not slip in ahead of the
    // note that tells of the gap before it.
    if (dropped_ > 0 || waiting + line.size() + 1 > capacity_) {
        ++dropped_;
        ++droppedTotal_;
        return false;
    }
    bytes_.append(line);
    bytes_.push_back('\n');
    return true;
}

void LogOutputBuffer::consume(std::size_t count) {
    front_ += std::min(count, bytes_.size() - front_);
    if (front_ == bytes_.size()) {
        bytes_.clear();
        front_ = noteEnd_ = 0;
        // The reader has taken everything before the gap: the output flows again.
        if (dropped_ > 0 && !closed_) queueNote();
    } else if (front_ >= capacity_ / 2 && front_ * 2 >= bytes_.size()) {
        // Written bytes are let go now and then rather than at every write.
        bytes_.erase(0, front_);
        noteEnd_ = noteEnd_ > front_ ? noteEnd_ - front_ : 0;
        front_ = 0;
    }
}

void LogOutputBuffer::queueNote() {
    bytes_.append(unwrittenLinesNote(dropped_));
    bytes_.push_back('\n');
    noteEnd_ = bytes_.size();
    dropped_ = 0;
}

void LogOutputBuffer::close() {
    closed_ = true;
    bytes_.clear();
    bytes_.shrink_to_fit();
    front_ = noteEnd_ = 0;
}

}  // namespace tev
