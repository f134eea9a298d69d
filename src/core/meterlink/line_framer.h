#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tev {

// Cuts the byte stream of one meter connection into meter messages.
//
// A meter sends one message per write, so the meter protocol treats one read as one message
// whose last character is its terminator. TCP may join or split writes, so once a connection
// has shown a line end (CR, LF or CR LF) the framer switches to lines: every message ends with
// its own line end bytes, several messages in one read come out one by one, and bytes without
// a line end wait for the rest of their message. A connection that never sends a line end
// keeps the one-read-one-message rule.
//
// Bounds: bytes that wait are handed on as one message when kPartialWaitMs has passed since
// they began to wait. A message longer than kMaxMessageBytes is dropped whole: its bytes are
// counted and discarded up to its line end (or up to the end of the wait, if no line end
// comes), so that its tail is never taken for a message of its own.
class LineFramer {
  public:
    static constexpr std::size_t kMaxMessageBytes = 4096;
    static constexpr std::int64_t kPartialWaitMs = 200;

    // The messages completed by the bytes of one read, in order.
    std::vector<std::string> onRead(std::string_view bytes, std::int64_t nowMs);

    // Hands on what has waited past its deadline (none when nothing is due).
    std::vector<std::string> onTimeout(std::int64_t nowMs);

    // Hands on everything that waits, whatever its deadline: for a connection that closes.
    std::vector<std::string> flush();

    // When onTimeout has something to hand on; empty when nothing waits.
    std::optional<std::int64_t> nextDeadline() const;

    bool inLineMode() const { return lineMode_; }
    std::uint64_t droppedBytes() const { return droppedBytes_; }
    std::uint64_t droppedMessages() const { return droppedMessages_; }
    std::size_t waitingBytes() const { return pending_.size(); }

  private:
    void readLines(std::string_view bytes, std::int64_t nowMs, std::vector<std::string>& out);
    // Adds bytes to the message that waits, or drops them when it grows over the cap.
    void append(std::string_view chunk);
    // Hands on the message that waits, which has reached its line end.
    void finishLine(std::vector<std::string>& out);

    bool lineMode_ = false;
    // In line mode, the connection ends its lines with a bare CR, so a CR ends its line at
    // once instead of waiting for an LF, and an LF right after it is dropped.
    bool bareCr_ = false;
    bool lfMayFollow_ = false;
    // The message that waits ends with a CR; an LF at the start of the next read belongs to it.
    bool crHeld_ = false;
    // Bytes of an over-long message are being discarded up to its line end.
    bool discarding_ = false;
    std::string pending_;
    std::optional<std::int64_t> deadline_;
    std::uint64_t droppedBytes_ = 0;
    std::uint64_t droppedMessages_ = 0;
};

}  // namespace tev
