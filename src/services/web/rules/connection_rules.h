#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tev::web {

// What one client may make the server hold and how long it may take, whatever it sends or
// fails to read.
//
// Unsent bytes of one connection: while a connection holds more, nothing more is read from it
// or built for it. An answer is written a slice at a time up to the limit.
inline constexpr std::size_t kMaxHttpOutputBytes = 1024 * 1024;
inline constexpr std::size_t kMaxWebSocketOutputBytes = 256 * 1024;
// A slice of a big answer, built while the connection holds less than the limit less a slice.
inline constexpr std::size_t kAnswerSliceBytes = 128 * 1024;
// What the server reads from a connection before it looks at it: a head and a little more.
inline constexpr std::size_t kReadBufferBytes = 64 * 1024;
// A request head must be complete this long after its first byte.
inline constexpr std::int64_t kHeadDeadlineMs = 10000;
// A connection younger than this is not evicted at the cap: when all are, accepting pauses.
inline constexpr std::int64_t kFreshConnectionMs = 1000;
inline constexpr std::int64_t kAcceptPauseMs = 250;
// Live connections from one address (IPv6: one /64).
inline constexpr int kWebSocketsPerAddress = 8;
// After a close is sent, the client has this long to read it before the connection is cut.
inline constexpr std::int64_t kCloseGraceMs = 2000;

// Answers built on a reader thread (an archive series or CSV holds all its rows until the
// client has read the last of them; a records CSV its whole text) held at once: by one client
// address, and by all. Past either, a request gets 503 with Retry-After, so clients that ask
// for exports on many connections and never read hold no more than these. Small answers (a
// series, energy, quality or costs that fits in one slice) and downloads (the CSVs, and a series
// longer than one slice) are counted apart, each kind with places of its own, so that slow
// downloads never take the places of the dashboard's charts.
inline constexpr int kReaderAnswersPerAddress = 6;
inline constexpr int kReaderAnswers = 16;
inline constexpr int kDownloadsPerAddress = 6;
inline constexpr int kDownloads = 16;
inline constexpr int kReaderAnswersRetrySeconds = 2;

// A download (an answer written a slice at a time) whose client takes fewer bytes than this per
// second, counted over each window while the server has bytes waiting for it, is closed and its
// place given back: at that rate a 14 MB export would hold its place for seven minutes.
inline constexpr std::int64_t kMinDownloadBytesPerSecond = 32 * 1024;
inline constexpr std::int64_t kDownloadRateWindowMs = 20000;

// Counts the reader answers held per client address. A hold is returned when its token goes,
// on whichever thread that is.
class ReaderAnswerHolds {
  public:
    ReaderAnswerHolds(int perAddress = kReaderAnswersPerAddress, int total = kReaderAnswers)
        : ledger_(std::make_shared<Ledger>()), perAddress_(perAddress), total_(total) {}
    // A token while `client` may hold one more answer; nothing when it or everyone holds the most.
    std::shared_ptr<void> tryHold(const std::string& client);
    int held() const;

  private:
    struct Ledger {
        std::mutex mutex;
        std::map<std::string, int> perAddress;
        int total = 0;
    };
    std::shared_ptr<Ledger> ledger_;
    int perAddress_;
    int total_;
};

// How fast a client takes a download: the bytes it took in the current window.
class DownloadPace {
  public:
    explicit DownloadPace(std::int64_t startMs = 0) : windowStartMs_(startMs) {}
    void taken(std::int64_t bytes) { inWindow_ += bytes; }
    // False once a window has passed in which the client took fewer than `minBytesPerSecond`;
    // each check past a window's end starts the next one. `waiting`: the server has bytes queued
    // for the client (without, the server is the slow one and the window starts again).
    bool keepsUp(std::int64_t nowMs, bool waiting, std::int64_t minBytesPerSecond,
                 std::int64_t windowMs);

  private:
    std::int64_t windowStartMs_;
    std::int64_t inWindow_ = 0;
};

// When to give the memory a flood of connections took back to the system: once the connections
// fall below a quarter of their peak since the last time (a peak of kGiveBackPeak at least),
// and at most once every kGiveBackIntervalMs.
inline constexpr int kGiveBackPeak = 64;
inline constexpr std::int64_t kGiveBackIntervalMs = 5000;
class MemoryGiveBack {
  public:
    void seen(int connections) { peak_ = connections > peak_ ? connections : peak_; }
    bool due(int connections, std::int64_t nowMs);

  private:
    int peak_ = 0;
    std::optional<std::int64_t> lastMs_;
};

// A connection as the rules see it.
struct ConnectionView {
    // The address the per-address limits count it under.
    std::string client;
    std::int64_t acceptedMs = 0;
    // The last time bytes came in or went out: what an answer was built does not count.
    std::int64_t lastProgressMs = 0;
    // Set while a request head has begun and is not complete.
    std::optional<std::int64_t> headStartMs;
    bool webSocket = false;
    // A live WebSocket whose client takes what is pushed to it (or answers pings).
    bool feeding = false;
    // Waiting for a reader thread or writing an answer: the head deadline does not run.
    bool busy = false;
    // A close (or an answer with Connection: close) has been sent, since this time.
    std::optional<std::int64_t> closingSinceMs;
};

enum class CloseReason {
    None,
    HeadDeadline,  // the head did not come whole within kHeadDeadlineMs
    Idle,          // nothing read or written for the idle time (a WebSocket: no pong either)
    CloseGrace,    // a sent close was not taken within kCloseGraceMs
};

// Whether the once-a-second check closes this connection now.
CloseReason closeReason(const ConnectionView& c, std::int64_t nowMs, std::int64_t idleTimeoutMs);

// Whether a WebSocket, quiet since lastProgressMs, is due a ping (at half the idle time, once
// until its pong: bytes read at or after pingSentMs answer it).
bool pingDue(const ConnectionView& c, std::optional<std::int64_t> pingSentMs, std::int64_t nowMs,
             std::int64_t idleTimeoutMs);

// Which connection goes at the cap: one already closing; else those whose head is unfinished
// (the oldest head first); then those with no request in flight and no live feed; then the
// rest. Within each, the address holding the most connections first, its oldest connection
// first (the idlest among equals). Never one younger than kFreshConnectionMs: nothing when every
// connection is fresh, and the caller then pauses accepting rather than churn.
std::optional<std::size_t> connectionToEvict(const std::vector<ConnectionView>& connections,
                                             std::int64_t nowMs);

}  // namespace tev::web
