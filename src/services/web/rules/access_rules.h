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
// `burst`. Bounded in the clients it remembers.
class RequestRateLimiter {
  public:
    static constexpr std::size_t kMaxClients = 4096;
    RequestRateLimiter(double perSecond, double burst) : perSecond_(perSecond), burst_(burst) {}
    // Takes one request's token; false when the client has none left.
    bool allow(const std::string& client, std::int64_t nowMs);

  private:
    struct Bucket {
        double tokens = 0;
        std::int64_t lastMs = 0;
    };
    double perSecond_;
    double burst_;
    std::unordered_map<std::string, Bucket> buckets_;
};

}  // namespace tev::web
