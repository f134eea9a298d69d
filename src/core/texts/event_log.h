#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/clock.h"

namespace tev {

// The language in which the program writes its texts.
enum class LanguageMode : int { English = 1, Chinese = 2, Bilingual = 3 };

// A message with an English and a bilingual form: the English one in English mode, the
// bilingual one in bilingual mode and none in Chinese-only mode.
inline std::optional<std::string> pickText(LanguageMode mode, std::string_view english,
                                           std::string_view bilingual) {
    switch (mode) {
        case LanguageMode::English:
            return std::string(english);
        case LanguageMode::Bilingual:
            return std::string(bilingual);
        default:
            return std::nullopt;
    }
}

// Text fit for one log line and a terminal: control characters (C0, DEL and C1) are left out
// and bytes that are not UTF-8 become '?'. Text that is already fit comes back unchanged.
std::string safeLogText(std::string_view text);

// The event log of the main window. Lines are only appended; only the Reset command clears
// it. It starts with one empty line. So that a flood from the network cannot exhaust memory
// over weeks, only the newest lines are kept: at most `capacity` lines and `maxBytes` bytes.
//
// Lines written while a LogSource is alive are that source's (one meter connection): each
// source may write kSourceLinesPerWindow lines per kSourceWindowMs; further lines are counted
// and later summed up in one line "… N similar lines suppressed". All sources together, the
// whole meter port, share a second budget of kPortLinesPerWindow lines and kPortBytesPerWindow
// bytes per window, so that a flood spread over many connections is summed up as well; a
// source's summary line is itself paid from that budget. Lines that must never be lost
// (a meter's registration, its connect line) go through appendAlways.
class EventLog {
  public:
    using Listener = std::function<void(const std::string& line)>;

    static constexpr std::size_t kDefaultCapacity = 100000;
    static constexpr std::size_t kDefaultMaxBytes = 8 * 1024 * 1024;
    static constexpr std::size_t kSourceLinesPerWindow = 120;
    static constexpr std::int64_t kSourceWindowMs = 60 * 1000;
    static constexpr std::size_t kPortLinesPerWindow = 600;
    static constexpr std::size_t kPortBytesPerWindow = 1024 * 1024;

    // The rate limit of sources runs on the clock's steady readings.
    explicit EventLog(const Clock& clock, std::size_t capacity = kDefaultCapacity,
                      std::size_t maxBytes = kDefaultMaxBytes);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    void append(std::string line);
    // Appends the form that `mode` asks for, if any.
    void append(LanguageMode mode, std::string_view english, std::string_view bilingual);
    // Never held back by a budget; counted in the port's budget when a source is alive.
    void appendAlways(std::string line);
    void appendAlways(LanguageMode mode, std::string_view english, std::string_view bilingual);
    void clear();

    // Writes the summaries of sources whose window has passed; the one-second tick calls it.
    void flushSuppressed();

    const std::deque<std::string>& lines() const { return lines_; }
    std::size_t capacity() const { return capacity_; }
    std::size_t maxBytes() const { return maxBytes_; }
    std::size_t bytes() const { return bytes_; }
    std::uint64_t suppressedLines() const { return suppressedTotal_; }

    // Called with every appended line (the memo, standard output).
    void addListener(Listener listener) { listeners_.push_back(std::move(listener)); }
    // Called after clear().
    void addClearListener(std::function<void()> listener) {
        clearListeners_.push_back(std::move(listener));
    }

  private:
    friend class LogSource;
    struct SourceState {
        std::int64_t windowStart = 0;
        std::size_t lines = 0;
        std::uint64_t suppressed = 0;
    };

    // The budget all sources share.
    struct PortState {
        std::int64_t windowStart = 0;
        std::size_t lines = 0;
        std::size_t bytes = 0;
        std::uint64_t suppressed = 0;
    };

    // Whether a line of `source` may be written now; writes a due summary first.
    bool admit(std::uint64_t source, std::int64_t now, std::size_t bytes);
    // Starts a new port window when the old one has passed, writing its summary.
    void renewPortWindow(std::int64_t now);
    // Takes a line from the port budget; false when the budget is spent.
    bool takeFromPort(std::size_t bytes);
    // A source's summary, written when the port budget allows, else added to the port's count.
    void summarizeSource(std::uint64_t suppressed);
    void store(std::string line);
    void writeSummary(std::uint64_t suppressed);
    // Forgets sources whose window has passed, writing their summaries.
    void sweep(std::int64_t now);

    std::size_t capacity_;
    std::size_t maxBytes_;
    std::size_t bytes_ = 0;
    std::deque<std::string> lines_;
    std::vector<Listener> listeners_;
    std::vector<std::function<void()>> clearListeners_;
    const Clock& clock_;
    std::unordered_map<std::uint64_t, SourceState> sources_;
    PortState port_;
    std::int64_t nextSweepMs_ = 0;
    std::uint64_t suppressedTotal_ = 0;
};

// While alive, lines appended to any EventLog on this thread are attributed to `source`
// (a meter connection). Scopes nest; the innermost counts.
class LogSource {
  public:
    explicit LogSource(std::uint64_t source);
    ~LogSource();
    LogSource(const LogSource&) = delete;
    LogSource& operator=(const LogSource&) = delete;

    // The source of the innermost live scope, if any.
    static std::optional<std::uint64_t> current();

  private:
    std::optional<std::uint64_t> outer_;
};

}  // namespace tev
