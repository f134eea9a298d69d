#include "services/fleet/rules/outage_log.h"

#include "core/texts/json_text.h"

namespace tev::fleet {
namespace {

constexpr std::size_t kMaxReasonBytes = 200;

}  // namespace

std::string OutageLog::failed(std::string_view reason, std::int64_t unixSeconds) {
    if (inOutage()) return {};
    outageSince_ = unixSeconds;
    return "Fleet: shipping to PostgreSQL " + where_ + " stopped (" + errorReason(reason) +
           "): the rows wait in the archive, retrying in the background";
}

std::string OutageLog::shipped(std::int64_t backlog, std::int64_t unixSeconds) {
    std::string line;
    if (inOutage())
        line = "Fleet: shipping to PostgreSQL " + where_ + " resumed after " +
               durationText(unixSeconds - outageSince_) + "; " + std::to_string(backlog) +
               " rows had waited in the archive";
    else if (!shippedOnce_)
        line = "Fleet: shipping to PostgreSQL " + where_ + ", " + std::to_string(backlog) +
               " rows waiting in the archive";
    outageSince_ = -1;
    shippedOnce_ = true;
    return line;
}

std::string errorReason(std::string_view message) {
    std::string_view first = message.substr(0, message.find('\n'));
    while (!first.empty() && (first.back() == ' ' || first.back() == '\r')) first.remove_suffix(1);
    if (first.size() > kMaxReasonBytes) first = first.substr(0, kMaxReasonBytes);
    std::string text = validUtf8(first);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return text.empty() ? "no reason given" : text;
}

std::string durationText(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    constexpr std::int64_t kMinute = 60, kHour = 3600, kDay = 86400;
    if (seconds < kMinute) return std::to_string(seconds) + " s";
    if (seconds < kHour)
        return std::to_string(seconds / kMinute) + " min " + std::to_string(seconds % kMinute) +
               " s";
    if (seconds < kDay)
        return std::to_string(seconds / kHour) + " h " + std::to_string(seconds % kHour / kMinute) +
               " min";
    return std::to_string(seconds / kDay) + " d " + std::to_string(seconds % kDay / kHour) + " h";
}

}  // namespace tev::fleet
