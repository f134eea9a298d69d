#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tev::web {

// Whether the web server may listen, and why not: beyond loopback anyone on the network could
// read the readings, so that needs a password or an explicit allow_anonymous=true.
struct ListenDecision {
    bool listen = false;
    std::string reason;  // the log line's text when it may not
};
ListenDecision decideListen(bool loopbackAddress, bool hasPassword, bool allowAnonymous);

// Checks an Authorization field "Basic base64(user:password)" against the password, in time
// that does not depend on where the two first differ. Any user name is taken.
bool basicAuthorizationMatches(std::string_view authorization, std::string_view password);

// Compares in time that depends only on the lengths.
bool constantTimeEquals(std::string_view a, std::string_view b);

// A token bucket per client address: `perSecond` requests a second on average, bursts of up to
// `burst`. Bounded in the clients it remembers: when the table is full of clients still
// limited, the newcomers share one bucket, so that no client's limit is ever forgotten early.
class RequestRateLimiter {
  public:
    static constexpr std::size_t kMaxClients = 4096;
    // Room beyond a full table for clients that keep a bucket of their own.
    static constexpr std::size_t kMaxOwnBeyond = 64;
    RequestRateLimiter(double perSecond, double burst) : perSecond_(perSecond), burst_(burst) {}
    // Takes one request's token; false when the client has none left. `own`: a client that
    // never shares the newcomers' bucket of a full table (the owner: an address that gave the
    // right password lately, or the computer's own loopback address), so that a flood from
    // many addresses never limits it beyond its own rate.
    bool allow(const std::string& client, std::int64_t nowMs, bool own = false);
    std::size_t clients() const { return buckets_.size(); }

  private:
    struct Bucket {
        double tokens = 0;
        std::int64_t lastMs = 0;
    };
    double perSecond_;
    double burst_;
    std::unordered_map<std::string, Bucket> buckets_;
    Bucket overflow_{};
    bool overflowUsed_ = false;
};

// What one wrong password led to.
struct LoginFailure {
    // The address's kFailures-th within the window: its brake starts now (the caller logs once).
    bool brakeStarts = false;
    // From an address the full table does not track, beyond the shared rate of such addresses:
    // answered 429 instead of 401.
    bool refused = false;
    // The first refused one since addresses went untracked: the caller logs the situation once,
    // with the wrong passwords from untracked addresses so far.
    bool floodStarts = false;
    std::uint64_t untrackedFailures = 0;
};

// Wrong passwords per client address: after kFailures within a minute, the address gets 429
// for a minute, whatever it sends. Only its own wrong passwords brake an address.
// The table is bounded: when it is full of addresses still counted, a newcomer is not tracked.
// Its wrong passwords share one rate (kUntrackedPerSecond, bursts of kUntrackedBurst), beyond
// which they get 429; its right password is always taken, so guessers from many addresses
// never lock out the owner. An address that gave the right password within kTrustMs (the last
// kMaxTrusted such addresses) is not held to that shared rate either.
class LoginBrake {
  public:
    static constexpr std::size_t kMaxClients = 4096;
    static constexpr int kFailures = 20;
    static constexpr std::int64_t kWindowMs = 60000;
    static constexpr std::int64_t kBlockMs = 60000;
    static constexpr double kUntrackedPerSecond = 2;
    static constexpr double kUntrackedBurst = kFailures;
    static constexpr std::size_t kMaxTrusted = 64;
    static constexpr std::int64_t kTrustMs = 24 * 3600 * 1000;
    // Whether the address is braked now; if so, for how many more seconds (Retry-After).
    bool braked(const std::string& client, std::int64_t nowMs, std::int64_t& retryAfterSeconds);
    // A wrong password.
    LoginFailure failed(const std::string& client, std::int64_t nowMs);
    // The right password.
    void succeeded(const std::string& client, std::int64_t nowMs);
    // Whether the address gave the right password within kTrustMs.
    bool trusted(const std::string& client, std::int64_t nowMs) const;
    std::size_t clients() const { return entries_.size(); }
    std::size_t trustedClients() const { return trusted_.size(); }

  private:
    struct Entry {
        std::int64_t windowStartMs = 0;
        int failures = 0;
        std::int64_t brakedUntilMs = 0;
    };
    // Wrong passwords from addresses the full table does not track, since the first of them;
    // it ends a window after the last.
    struct Untracked {
        bool active = false;
        bool logged = false;
        std::uint64_t failures = 0;
        std::int64_t lastMs = 0;
        double tokens = 0;
        std::int64_t tokensMs = 0;
    };
    Entry* find(const std::string& client, std::int64_t nowMs, bool create);
    LoginFailure untrackedFailure(const std::string& client, std::int64_t nowMs);
    std::unordered_map<std::string, Entry> entries_;
    // No entry can be forgotten before this: a full table is not swept again until then.
    std::int64_t nextSweepMs_ = 0;
    Untracked untracked_;
    std::unordered_map<std::string, std::int64_t> trusted_;  // address, its last right password
};

// The password of a password file: its first line without the line end ("\n" or "\r\n");
// spaces are part of it.
std::string passwordFromFile(std::string_view contents);

// Whether a password file's permission bits (st_mode) let its group or others read or write it:
// then it is refused, as ssh refuses such a key.
bool passwordFileTooOpen(unsigned mode);

}  // namespace tev::web
