#include "services/fleet/rules/ship_plan.h"

#include <algorithm>

#include "services/archive/rules/local_time.h"

namespace tev::fleet {
namespace {

constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kShortestSlice = 60;
constexpr std::int64_t kLongestSlice = 3653 * kDay;

}  // namespace

std::int64_t closedBefore(archive::OutboxTable table, std::int64_t writtenThrough) {
    switch (table) {
        case archive::OutboxTable::Minutes:
            return archive::minuteStart(writtenThrough);
        case archive::OutboxTable::Hours:
            return archive::localHourStart(writtenThrough);
        case archive::OutboxTable::Days:
            return archive::localDayStart(writtenThrough);
        case archive::OutboxTable::Alerts:
            break;
    }
    return writtenThrough;
}

std::int64_t firstSliceSeconds(archive::OutboxTable table) {
    switch (table) {
        case archive::OutboxTable::Minutes:
            return kHour;
        case archive::OutboxTable::Hours:
            return kDay;
        default:
            return 30 * kDay;
    }
}

std::int64_t nextSliceSeconds(std::int64_t seconds, std::size_t rows) {
    if (rows < kSliceRows / 2) seconds *= 2;
    if (rows > kSliceRows * 2) seconds /= 2;
    return std::clamp(seconds, kShortestSlice, kLongestSlice);
}

MarkAfterRetention markAfterRetention(std::int64_t found, std::int64_t to,
                                      const std::vector<std::int64_t>& shippedTimes) {
    MarkAfterRetention m;
    m.mark = std::max(found, to);
    m.lostChange = -static_cast<std::int64_t>(std::count_if(
        shippedTimes.begin(), shippedTimes.end(), [found](std::int64_t t) { return t < found; }));
    return m;
}

Resend resendFrom(const std::vector<archive::MeterRows>& shipped,
                  const std::vector<archive::MeterRows>& held) {
    Resend r;
    r.from = INT64_MAX;
    for (const archive::MeterRows& s : shipped) {
        const auto h = std::find_if(held.begin(), held.end(), [&s](const archive::MeterRows& m) {
            return m.meter == s.meter;
        });
        const std::int64_t count = h == held.end() ? 0 : h->count;
        if (count >= s.count) continue;
        r.missing += s.count - count;
        r.from = std::min(r.from, h != held.end() && h->last < s.last ? h->last : s.first);
    }
    if (r.missing == 0) r.from = 0;
    return r;
}

std::string resendLine(const std::array<std::int64_t, 4>& missing) {
    static constexpr const char* kWhat[] = {"minute", "hour", "day", "alert"};
    std::int64_t total = 0;
    std::string parts;
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (missing[i] <= 0) continue;
        total += missing[i];
        parts += (parts.empty() ? "" : ", ") + std::to_string(missing[i]) + " " + kWhat[i];
    }
    if (total == 0) return {};
    return "Fleet: the database lacks " + std::to_string(total) + " rows it was sent before (" +
           parts + "); they are sent again";
}

std::string shipAgainLine(const std::array<std::int64_t, 4>& again, const std::string& from) {
    return "Fleet: " + std::to_string(again[0]) + " minute, " + std::to_string(again[1]) +
           " hour, " + std::to_string(again[2]) + " day rows and " + std::to_string(again[3]) +
           (again[3] == 1 ? " alert" : " alerts") + " from " + from + " on will be shipped again";
}

std::string lostRowsLine(archive::OutboxTable table, std::int64_t lost, std::int64_t lostTold) {
    if (lost <= lostTold) return {};
    const char* what = table == archive::OutboxTable::Hours ? "hour" : "minute";
    return "Fleet: " + std::to_string(lost - lostTold) + " " + what +
           " rows were deleted by the archive's retention before they could be shipped (" +
           std::to_string(lost) + " in all)";
}

}  // namespace tev::fleet
