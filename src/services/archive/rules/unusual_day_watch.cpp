#include "services/archive/rules/unusual_day_watch.h"

#include <cmath>

#include "services/archive/rules/local_time.h"

namespace tev::archive {

namespace {

bool holdsRow(const HourRows& hours, std::int64_t hourStart) {
    for (std::size_t i = hours.time.size(); i-- > 0;) {
        if (hours.time[i] < hourStart) return false;
        if (hours.time[i] == hourStart && i < hours.kwh.size() && std::isfinite(hours.kwh[i]))
            return true;
    }
    return false;
}

}  // namespace

std::optional<UnusualDay> UnusualDayWatch::check(std::string_view meter, const HourRows& hours,
                                                 std::int64_t now) {
    const std::int64_t today = localDayStart(now);
    const std::int64_t day = localDayStart(today - 1);
    auto it = decided_.find(meter);
    if (it != decided_.end() && it->second >= day) return std::nullopt;
    // The day's last hour starts an hour before midnight, whether the day had 23, 24 or 25.
    if (!holdsRow(hours, localHourStart(today - 1)) && now - today < kSettleSeconds)
        return std::nullopt;
    if (it == decided_.end()) it = decided_.emplace(std::string(meter), day).first;
    it->second = day;
    for (const UnusualDay& u : unusualDays(hours, day, today, now))
        if (u.day == day) return u;
    return std::nullopt;
}

}  // namespace tev::archive
