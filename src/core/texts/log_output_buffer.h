#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tev {

// The text that stands in a log echo for lines its reader never got.
std::string unwrittenLinesNote(std::uint64_t lines);

// The lines of the event log on their way to standard output, whose reader (a terminal, a
// pipe into `head` or `tee`, a service journal) may be slow, stalled or gone. The program must
// never wait for that reader, so the lines wait here instead, up to `capacity` bytes.
//
// Once a line did not fit, later lines are dropped too until everything queued before them
// has been written: the output then shows a gap, one note "… N log lines not written to
// standard output", and the lines that follow, in order. When the reader has gone for good
// (close()), nothing is queued any more.
class LogOutputBuffer {
  public:
    static constexpr std::size_t kDefaultCapacity = 1024 * 1024;

    explicit LogOutputBuffer(std::size_t capacity = kDefaultCapacity);

    // Queues `line` and a line end. False when the line was dropped (or the output is closed).
    bool push(std::string_view line);

    // The bytes waiting to be written, oldest first.
    std::string_view pending() const { return std::string_view(bytes_).substr(front_); }
    bool empty() const { return front_ == bytes_.size(); }
    // `count` bytes from the front of pending() have been written (a write may take part of a
    // line; the rest follows with the next write).
    void consume(std::size_t count);

    // The reader has gone for good: what waits is thrown away and nothing more is queued.
    void close();
    bool closed() const { return closed_; }

    std::size_t capacity() const { return capacity_; }
    // Lines dropped since the last note was queued.
    std::uint64_t droppedLines() const { return dropped_; }
    // All lines ever dropped, for the program's own diagnostics.
    std::uint64_t droppedTotal() const { return droppedTotal_; }

  private:
    void queueNote();

    std::size_t capacity_;
    std::string bytes_;
    std::size_t front_ = 0;
    // Where the last queued note ends in bytes_ (0 when none waits).
    std::size_t noteEnd_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t droppedTotal_ = 0;
    bool closed_ = false;
};

}  // namespace tev
