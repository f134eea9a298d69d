#include "services/web/rules/connection_rules.h"

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
    if (pingSentMs && *pingSentMs >= c.lastProgressMs) return false;
    return nowMs - c.lastProgressMs >= idleTimeoutMs / 2;
}

std::optional<std::size_t> connectionToEvict(const std::vector<ConnectionView>& connections,
                                             std::int64_t nowMs) {
    std::optional<std::size_t> unfinished, idlest;
    for (std::size_t i = 0; i < connections.size(); ++i) {
        const ConnectionView& c = connections[i];
        if (nowMs - c.acceptedMs < kFreshConnectionMs) continue;
        if (c.closingSinceMs) return i;  // on its way out anyway
        if (c.headStartMs && !c.busy) {
            if (!unfinished || *c.headStartMs < *connections[*unfinished].headStartMs)
                unfinished = i;
        } else if (!idlest || c.lastProgressMs < connections[*idlest].lastProgressMs) {
            idlest = i;
        }
    }
    return unfinished ? unfinished : idlest;
}

}  // namespace tev::web
