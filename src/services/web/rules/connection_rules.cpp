#include "services/web/rules/connection_rules.h"

#include <string_view>
#include <tuple>

namespace tev::web {

std::shared_ptr<void> ReaderAnswerHolds::tryHold(const std::string& client) {
    {
        const std::lock_guard lock(ledger_->mutex);
        int& mine = ledger_->perAddress[client];
        if (mine >= perAddress_ || ledger_->total >= total_) {
            if (mine == 0) ledger_->perAddress.erase(client);
            return nullptr;
        }
        ++mine;
        ++ledger_->total;
    }
    // The token keeps the ledger alive, so a hold returned after the server has gone is safe;
    // it points at the ledger only to be non-null, and deletes nothing.
    return std::shared_ptr<void>(ledger_.get(), [ledger = ledger_, client](void*) {
        const std::lock_guard lock(ledger->mutex);
        --ledger->total;
        if (--ledger->perAddress[client] <= 0) ledger->perAddress.erase(client);
    });
}

int ReaderAnswerHolds::held() const {
    const std::lock_guard lock(ledger_->mutex);
    return ledger_->total;
}

CloseReason closeReason(const ConnectionView& c, std::int64_t nowMs, std::int64_t idleTimeoutMs) {
    if (c.closingSinceMs) {
        if (nowMs - *c.closingSinceMs >= kCloseGraceMs) return CloseReason::CloseGrace;
        return CloseReason::None;
    }
    if (c.headStartMs && !c.busy && nowMs - *c.headStartMs >= kHeadDeadlineMs)
        return CloseReason::HeadDeadline;
    if (nowMs - c.lastProgressMs >= idleTimeoutMs) return CloseReason::Idle;
    return CloseReason::None;
}

bool pingDue(const ConnectionView& c, std::optional<std::int64_t> pingSentMs, std::int64_t nowMs,
             std::int64_t idleTimeoutMs) {
    if (!c.webSocket || c.closingSinceMs) return false;
    // The ping goes at least half the idle time after the last progress, so progress stamped
    // at or after its sending, the same millisecond included, is its pong (or more): the ping
    // still waits for its answer only while it is newer than every progress.
    if (pingSentMs && *pingSentMs > c.lastProgressMs) return false;
    return nowMs - c.lastProgressMs >= idleTimeoutMs / 2;
}

std::optional<std::size_t> connectionToEvict(const std::vector<ConnectionView>& connections,
                                             std::int64_t nowMs) {
    std::map<std::string_view, int> perAddress;
    for (const ConnectionView& c : connections) ++perAddress[c.client];
    // Lower goes first: idle before busy or feeding, crowded addresses before others, old
    // before new, idle longest before the rest.
    auto rank = [&](const ConnectionView& c) {
        return std::tuple(c.busy || c.feeding ? 1 : 0, -perAddress[c.client], c.acceptedMs,
                          c.lastProgressMs);
    };
    std::optional<std::size_t> unfinished, next;
    for (std::size_t i = 0; i < connections.size(); ++i) {
        const ConnectionView& c = connections[i];
        if (nowMs - c.acceptedMs < kFreshConnectionMs) continue;
        if (c.closingSinceMs) return i;  // on its way out anyway
        if (c.headStartMs && !c.busy) {
            if (!unfinished || *c.headStartMs < *connections[*unfinished].headStartMs)
                unfinished = i;
        } else if (!next || rank(c) < rank(connections[*next])) {
            next = i;
        }
    }
    return unfinished ? unfinished : next;
}

bool DownloadPace::keepsUp(std::int64_t nowMs, bool waiting, std::int64_t minBytesPerSecond,
                           std::int64_t windowMs) {
    const std::int64_t elapsed = nowMs - windowStartMs_;
    if (waiting && elapsed < windowMs) return true;
    const bool fast = !waiting || inWindow_ >= minBytesPerSecond * elapsed / 1000;
    windowStartMs_ = nowMs;
    inWindow_ = 0;
    return fast;
}

bool MemoryGiveBack::due(int connections, std::int64_t nowMs) {
    seen(connections);
    if (peak_ < kGiveBackPeak || connections * 4 >= peak_) return false;
    if (lastMs_ && nowMs - *lastMs_ < kGiveBackIntervalMs) return false;
    lastMs_ = nowMs;
    peak_ = connections;
    return true;
}

}  // namespace tev::web
