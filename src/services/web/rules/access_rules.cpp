#include "services/web/rules/access_rules.h"

#include <algorithm>

#include "services/web/rules/base64.h"

namespace tev::web {

ListenDecision decideListen(bool loopbackAddress, bool hasPassword, bool allowAnonymous) {
    if (loopbackAddress || hasPassword || allowAnonymous) return {true, {}};
    return {false,
            "not listening beyond loopback without a password: set password_file, or "
            "allow_anonymous=true, in the [http] group of tev3p.ini"};
}

bool constantTimeEquals(std::string_view a, std::string_view b) {
    // Every byte of the longer one is looked at, whatever the contents.
    const std::size_t n = std::max(a.size(), b.size());
    unsigned difference = a.size() == b.size() ? 0u : 1u;
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
        const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
        difference |= static_cast<unsigned>(x ^ y);
    }
    return difference == 0;
}

bool basicAuthorizationMatches(std::string_view authorization, std::string_view password) {
    constexpr std::string_view kScheme = "Basic ";
    if (password.empty() || authorization.size() < kScheme.size()) return false;
    for (std::size_t i = 0; i < kScheme.size() - 1; ++i)
        if ((authorization[i] | 0x20) != (kScheme[i] | 0x20)) return false;
    if (authorization[kScheme.size() - 1] != ' ') return false;
    std::string_view encoded = authorization.substr(kScheme.size());
    while (!encoded.empty() && encoded.front() == ' ') encoded.remove_prefix(1);
    const auto decoded = base64Decode(encoded);
    if (!decoded) return false;
    const std::size_t colon = decoded->find(':');
    if (colon == std::string::npos) return false;
    return constantTimeEquals(std::string_view(*decoded).substr(colon + 1), password);
}

bool RequestRateLimiter::allow(const std::string& client, std::int64_t nowMs, bool own) {
    auto refill = [this, nowMs](Bucket& b) {
        const double elapsed =
            static_cast<double>(std::max<std::int64_t>(nowMs - b.lastMs, 0)) / 1000.0;
        b.tokens = std::min(burst_, b.tokens + elapsed * perSecond_);
        b.lastMs = nowMs;
    };
    Bucket* bucket = nullptr;
    if (auto it = buckets_.find(client); it != buckets_.end()) {
        bucket = &it->second;
    } else {
        if (buckets_.size() >= kMaxClients) {
            // Forget the buckets that have filled up again: they hold nothing worth keeping.
            for (auto b = buckets_.begin(); b != buckets_.end();) {
                const double refilled =
                    b->second.tokens +
                    static_cast<double>(nowMs - b->second.lastMs) / 1000.0 * perSecond_;
                b = refilled >= burst_ ? buckets_.erase(b) : std::next(b);
            }
        }
        if (buckets_.size() < kMaxClients ||
            (own && buckets_.size() < kMaxClients + kMaxOwnBeyond)) {
            bucket = &buckets_.emplace(client, Bucket{burst_, nowMs}).first->second;
        } else {
            // Every remembered client is still limited: the newcomers share one bucket.
            if (!overflowUsed_) overflow_ = Bucket{burst_, nowMs};
            overflowUsed_ = true;
            bucket = &overflow_;
        }
    }
    refill(*bucket);
    if (bucket->tokens < 1.0) return false;
    bucket->tokens -= 1.0;
    return true;
}

LoginBrake::Entry* LoginBrake::find(const std::string& client, std::int64_t nowMs, bool create) {
    if (auto it = entries_.find(client); it != entries_.end()) return &it->second;
    if (!create) return nullptr;
    if (entries_.size() >= kMaxClients && nowMs >= nextSweepMs_) {
        // Forget the addresses neither braked nor counted within the window. An entry's time to
        // be forgotten only moves later, and a new one's is a window away at least: until the
        // earliest of them, sweeping again would find nothing.
        nextSweepMs_ = nowMs + kWindowMs;
        for (auto e = entries_.begin(); e != entries_.end();) {
            const std::int64_t forgettableMs =
                std::max(e->second.brakedUntilMs, e->second.windowStartMs + kWindowMs);
            if (forgettableMs <= nowMs) {
                e = entries_.erase(e);
            } else {
                nextSweepMs_ = std::min(nextSweepMs_, forgettableMs);
                ++e;
            }
        }
    }
    if (entries_.size() >= kMaxClients) return nullptr;
    return &entries_.emplace(client, Entry{nowMs, 0, 0}).first->second;
}

bool LoginBrake::braked(const std::string& client, std::int64_t nowMs,
                        std::int64_t& retryAfterSeconds) {
    const Entry* e = find(client, nowMs, false);
    if (e == nullptr || e->brakedUntilMs <= nowMs) return false;
    retryAfterSeconds = (e->brakedUntilMs - nowMs + 999) / 1000;
    return true;
}

LoginFailure LoginBrake::failed(const std::string& client, std::int64_t nowMs) {
    Entry* e = find(client, nowMs, true);
    if (e == nullptr) return untrackedFailure(client, nowMs);
    LoginFailure out;
    if (nowMs - e->windowStartMs >= kWindowMs) {
        e->windowStartMs = nowMs;
        e->failures = 0;
    }
    ++e->failures;
    if (e->failures < kFailures || e->brakedUntilMs > nowMs) return out;
    e->brakedUntilMs = nowMs + kBlockMs;
    e->failures = 0;
    e->windowStartMs = nowMs + kBlockMs;
    out.brakeStarts = true;
    return out;
}

LoginFailure LoginBrake::untrackedFailure(const std::string& client, std::int64_t nowMs) {
    LoginFailure out;
    // The owner mistyping is not held to the rate the guessers use up.
    if (trusted(client, nowMs)) return out;
    Untracked& u = untracked_;
    if (!u.active || nowMs - u.lastMs >= kWindowMs)
        u = Untracked{true, false, 0, nowMs, kUntrackedBurst, nowMs};
    u.lastMs = nowMs;
    ++u.failures;
    const double elapsed =
        static_cast<double>(std::max<std::int64_t>(nowMs - u.tokensMs, 0)) / 1000.0;
    u.tokens = std::min(kUntrackedBurst, u.tokens + elapsed * kUntrackedPerSecond);
    u.tokensMs = nowMs;
    if (u.tokens >= 1.0) {
        u.tokens -= 1.0;
        return out;
    }
    out.refused = true;
    if (!u.logged) {
        u.logged = true;
        out.floodStarts = true;
        out.untrackedFailures = u.failures;
    }
    return out;
}

void LoginBrake::succeeded(const std::string& client, std::int64_t nowMs) {
    if (auto it = trusted_.find(client); it != trusted_.end()) {
        it->second = std::max(it->second, nowMs);
        return;
    }
    if (trusted_.size() >= kMaxTrusted) {
        // The one whose right password is oldest goes.
        auto oldest =
            std::min_element(trusted_.begin(), trusted_.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        trusted_.erase(oldest);
    }
    trusted_.emplace(client, nowMs);
}

bool LoginBrake::trusted(const std::string& client, std::int64_t nowMs) const {
    const auto it = trusted_.find(client);
    return it != trusted_.end() && nowMs - it->second < kTrustMs;
}

std::string passwordFromFile(std::string_view contents) {
    std::string_view line = contents.substr(0, contents.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return std::string(line);
}

bool passwordFileTooOpen(unsigned mode) {
    return (mode & 077u) != 0;
}

}  // namespace tev::web
