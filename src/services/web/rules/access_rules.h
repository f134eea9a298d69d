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
    RequestRateLimiter(double perSecond, double burst) : perSecond_(perSecond), burst_(burst) {}
    // Takes one request's token; false when the client has none left.
    bool allow(const std::string& client, std::int64_t nowMs);
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

// Wrong passwords per client address: after kFailures within a minute, the address gets 429
// for a minute, whatever it sends. Bounded like the rate limiter: when the table is full of
// addresses still counted, the newcomers share one count.
class LoginBrake {
  public:
    static constexpr std::size_t kMaxClients = 4096;
    static constexpr int kFailures = 20;
    static constexpr std::int64_t kWindowMs = 60000;
    static constexpr std::int64_t kBlockMs = 60000;
    // Whether the address is braked now; if so, for how many more seconds (Retry-After).
    bool braked(const std::string& client, std::int64_t nowMs, std::int64_t& retryAfterSeconds);
    // A wrong password: true when it is the one that starts the brake (the caller logs once).
    bool failed(const std::string& client, std::int64_t nowMs);
    std::size_t clients() const { return entries_.size(); }

  private:
    struct Entry {
        std::int64_t windowStartMs = 0;
        int failures = 0;
        std::int64_t brakedUntilMs = 0;
    };
    Entry* find(const std::string& client, std::int64_t nowMs, bool create);
    std::unordered_map<std::string, Entry> entries_;
    Entry overflow_{};
};

// The password of a password file: its first line without the line end ("\n" or "\r\n");
// spaces are part of it.
std::string passwordFromFile(std::string_view contents);

// Whether a password file's permission bits (st_mode) let its group or others read or write it:
// then it is refused, as ssh refuses such a key.
bool passwordFileTooOpen(unsigned mode);

}  // namespace tev::web
