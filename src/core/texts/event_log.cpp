#include "core/texts/event_log.h"

#include <algorithm>

#include "core/texts/utf8.h"

namespace tev {

namespace {

thread_local std::optional<std::uint64_t> currentSource;

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

bool isFit(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (isControl(c)) return false;
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t n = utf8Sequence(text, i, code);
        if (n == 0 || (code >= 0x80 && code <= 0x9f)) return false;
        i += n;
    }
    return true;
}

constexpr char kNotUtf8 = '?';

}  // namespace

std::string safeLogText(std::string_view text) {
    if (isFit(text)) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (!isControl(c)) out += text[i];
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t n = utf8Sequence(text, i, code);
        if (n == 0) {
            out += kNotUtf8;
            ++i;
            continue;
        }
        if (code > 0x9f) out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

EventLog::EventLog(const Clock& clock, std::size_t capacity, std::size_t maxBytes)
    : capacity_(capacity == 0 ? 1 : capacity), maxBytes_(maxBytes), clock_(clock) {
    lines_.emplace_back();
}

EventLog::~EventLog() = default;

void EventLog::append(std::string line) {
    if (const auto source = LogSource::current()) {
        if (!admit(*source, steadyMsOf(clock_), line.size())) return;
    }
    store(std::move(line));
}

void EventLog::appendAlways(std::string line) {
    if (LogSource::current()) {
        const std::int64_t now = steadyMsOf(clock_);
        if (now >= nextSweepMs_) sweep(now);
        renewPortWindow(now);
        port_.lines += 1;
        port_.bytes += line.size();
    }
    store(std::move(line));
}

void EventLog::appendAlways(LanguageMode mode, std::string_view english,
                            std::string_view bilingual) {
    if (auto text = pickText(mode, english, bilingual)) appendAlways(std::move(*text));
}

void EventLog::store(std::string line) {
    line = safeLogText(line);
    lines_.push_back(std::move(line));
    bytes_ += lines_.back().size();
    // The newest line stays even when it alone is over the byte bound.
    while (lines_.size() > capacity_ || (bytes_ > maxBytes_ && lines_.size() > 1)) {
        bytes_ -= lines_.front().size();
        lines_.pop_front();
    }
    for (const Listener& l : listeners_) l(lines_.back());
}

bool EventLog::admit(std::uint64_t source, std::int64_t now, std::size_t bytes) {
    if (now >= nextSweepMs_) sweep(now);
    renewPortWindow(now);
    SourceState& s = sources_[source];
    if (s.lines == 0 && s.suppressed == 0) s.windowStart = now;
    if (now - s.windowStart >= kSourceWindowMs) {
        const std::uint64_t suppressed = s.suppressed;
        s = SourceState{now, 0, 0};
        if (suppressed > 0) summarizeSource(suppressed);
    }
    if (s.lines >= kSourceLinesPerWindow) {
        ++s.suppressed;
        ++suppressedTotal_;
        return false;
    }
    if (!takeFromPort(bytes)) {
        ++port_.suppressed;
        ++suppressedTotal_;
        nextSweepMs_ = std::min(nextSweepMs_, port_.windowStart + kSourceWindowMs);
        return false;
    }
    ++s.lines;
    return true;
}

void EventLog::renewPortWindow(std::int64_t now) {
    if (port_.lines == 0 && port_.suppressed == 0) port_.windowStart = now;
    if (now - port_.windowStart < kSourceWindowMs) return;
    const std::uint64_t suppressed = port_.suppressed;
    port_ = PortState{now, 0, 0, 0};
    // The port's own summary is the one line a flood may always write per window.
    if (suppressed > 0) writeSummary(suppressed);
}

bool EventLog::takeFromPort(std::size_t bytes) {
    if (port_.lines >= kPortLinesPerWindow || port_.bytes + bytes > kPortBytesPerWindow)
        return false;
    port_.lines += 1;
    port_.bytes += bytes;
    return true;
}

void EventLog::summarizeSource(std::uint64_t suppressed) {
    const std::string line = "… " + std::to_string(suppressed) + " similar lines suppressed";
    if (takeFromPort(line.size())) {
        store(line);
        return;
    }
    port_.suppressed += suppressed;
    nextSweepMs_ = std::min(nextSweepMs_, port_.windowStart + kSourceWindowMs);
}

void EventLog::flushSuppressed() {
    const std::int64_t now = steadyMsOf(clock_);
    if (now >= nextSweepMs_) sweep(now);
}

void EventLog::sweep(std::int64_t now) {
    nextSweepMs_ = now + kSourceWindowMs;
    renewPortWindow(now);
    std::vector<std::uint64_t> due;
    for (auto it = sources_.begin(); it != sources_.end();) {
        if (now - it->second.windowStart < kSourceWindowMs) {
            if (it->second.suppressed > 0)
                nextSweepMs_ = std::min(nextSweepMs_, it->second.windowStart + kSourceWindowMs);
            ++it;
            continue;
        }
        if (it->second.suppressed > 0) due.push_back(it->second.suppressed);
        it = sources_.erase(it);
    }
    for (std::uint64_t n : due) summarizeSource(n);
    if (port_.suppressed > 0)
        nextSweepMs_ = std::min(nextSweepMs_, port_.windowStart + kSourceWindowMs);
}

void EventLog::writeSummary(std::uint64_t suppressed) {
    store("… " + std::to_string(suppressed) + " similar lines suppressed");
}

void EventLog::append(LanguageMode mode, std::string_view english, std::string_view bilingual) {
    if (auto text = pickText(mode, english, bilingual)) append(std::move(*text));
}

void EventLog::clear() {
    lines_.clear();
    bytes_ = 0;
    for (const auto& l : clearListeners_) l();
}

LogSource::LogSource(std::uint64_t source) : outer_(currentSource) {
    currentSource = source;
}

LogSource::~LogSource() {
    currentSource = outer_;
}

std::optional<std::uint64_t> LogSource::current() {
    return currentSource;
}

}  // namespace tev
