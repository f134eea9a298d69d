#include "core/meterlink/line_framer.h"

#include <utility>

namespace tev {

namespace {
constexpr std::string_view kLineEndBytes = "\r\n";
}

std::vector<std::string> LineFramer::onRead(std::string_view bytes, std::int64_t nowMs) {
    std::vector<std::string> out;
    if (bytes.empty()) return out;
    if (!lineMode_) {
        if (bytes.find_first_of(kLineEndBytes) == std::string_view::npos) {
            if (bytes.size() > kMaxMessageBytes) {
                droppedBytes_ += bytes.size();
                ++droppedMessages_;
            } else {
                out.emplace_back(bytes);
            }
            return out;
        }
        lineMode_ = true;
    }
    readLines(bytes, nowMs, out);
    return out;
}

void LineFramer::readLines(std::string_view bytes, std::int64_t nowMs,
                           std::vector<std::string>& out) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (lfMayFollow_) {
            lfMayFollow_ = false;
            if (bytes[i] == '\n') {
                // The LF of a CR LF on a connection that ends its lines with a bare CR: its
                // line was handed on at the CR already.
                droppedBytes_ += 1;
                ++i;
                continue;
            }
        }
        if (crHeld_) {
            crHeld_ = false;
            if (bytes[i] == '\n') {
                append(bytes.substr(i, 1));
                finishLine(out);
                ++i;
                continue;
            }
            // A CR followed by anything but LF: this connection ends its lines with a bare CR.
            bareCr_ = true;
            finishLine(out);
        }
        const std::size_t end = bytes.find_first_of(kLineEndBytes, i);
        if (end == std::string_view::npos) {
            append(bytes.substr(i));
            break;
        }
        append(bytes.substr(i, end - i + 1));
        if (bytes[end] == '\r' && bareCr_) {
            // Such a connection's CR ends its line at once, wherever the read ends.
            finishLine(out);
            lfMayFollow_ = true;
        } else if (bytes[end] == '\r') {
            crHeld_ = true;
        } else {
            finishLine(out);
        }
        i = end + 1;
    }
    if (pending_.empty() && !discarding_) {
        deadline_.reset();
    } else if (!deadline_) {
        deadline_ = nowMs + kPartialWaitMs;
    }
}

void LineFramer::append(std::string_view chunk) {
    if (discarding_) {
        droppedBytes_ += chunk.size();
        return;
    }
    if (pending_.size() + chunk.size() > kMaxMessageBytes) {
        droppedBytes_ += pending_.size() + chunk.size();
        ++droppedMessages_;
        pending_.clear();
        discarding_ = true;
        return;
    }
    pending_.append(chunk);
}

void LineFramer::finishLine(std::vector<std::string>& out) {
    deadline_.reset();
    if (discarding_) {
        discarding_ = false;
        return;
    }
    out.push_back(std::move(pending_));
    pending_.clear();
}

std::vector<std::string> LineFramer::onTimeout(std::int64_t nowMs) {
    if (!deadline_ || nowMs < *deadline_) return {};
    return flush();
}

std::vector<std::string> LineFramer::flush() {
    std::vector<std::string> out;
    crHeld_ = false;
    if (!pending_.empty() || discarding_) finishLine(out);
    deadline_.reset();
    return out;
}

std::optional<std::int64_t> LineFramer::nextDeadline() const {
    return deadline_;
}

}  // namespace tev
