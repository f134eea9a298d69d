#include "services/archive/rules/energy_periods.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "services/archive/rules/local_time.h"

namespace tev::archive {
namespace {

constexpr std::int64_t kHourSeconds = 3600;

// Local midnight `days` days and `months` months after the date of `t`.
std::int64_t midnightAfter(std::int64_t t, int days, int months) {
    const std::tm parts = localParts(t);
    return localUnixSeconds(parts.tm_year + 1900, parts.tm_mon + 1 + months, parts.tm_mday + days,
                            0, 0, 0);
}

}  // namespace

std::string_view energyPeriodName(EnergyPeriod p) {
    switch (p) {
        case EnergyPeriod::Day:
            return "day";
        case EnergyPeriod::Week:
            return "week";
        case EnergyPeriod::Month:
            return "month";
        case EnergyPeriod::Hour:
            return "hour";
    }
    return "day";
}

bool parseEnergyPeriod(std::string_view text, EnergyPeriod& p) {
    for (const EnergyPeriod candidate :
         {EnergyPeriod::Day, EnergyPeriod::Week, EnergyPeriod::Month, EnergyPeriod::Hour}) {
        if (text == energyPeriodName(candidate)) {
            p = candidate;
            return true;
        }
    }
    return false;
}

std::string_view weekStartName(WeekStart w) {
    return w == WeekStart::Monday ? "monday" : "sunday";
}

bool parseWeekStart(std::string_view text, WeekStart& w) {
    for (const WeekStart candidate : {WeekStart::Monday, WeekStart::Sunday}) {
        if (text == weekStartName(candidate)) {
            w = candidate;
            return true;
        }
    }
    return false;
}

int daysIntoWeek(int weekday, WeekStart w) {
    return w == WeekStart::Monday ? (weekday + 6) % 7 : weekday;
}

std::int64_t energyPeriodStart(EnergyPeriod p, std::int64_t t, WeekStart weekStart) {
    const std::tm parts = localParts(t);
    switch (p) {
        case EnergyPeriod::Day:
            return midnightAfter(t, 0, 0);
        case EnergyPeriod::Week:
            return midnightAfter(t, -daysIntoWeek(parts.tm_wday, weekStart), 0);
        case EnergyPeriod::Month:
            return midnightAfter(t, 1 - parts.tm_mday, 0);
        case EnergyPeriod::Hour:
            return localHourStart(t);
    }
    return midnightAfter(t, 0, 0);
}

std::int64_t nextEnergyPeriodStart(EnergyPeriod p, std::int64_t start) {
    switch (p) {
        case EnergyPeriod::Day:
            return midnightAfter(start, 1, 0);
        case EnergyPeriod::Week:
            return midnightAfter(start, 7, 0);
        case EnergyPeriod::Month:
            return midnightAfter(start, 0, 1);
        case EnergyPeriod::Hour:
            return start + kHourSeconds;
    }
    return midnightAfter(start, 1, 0);
}

PeriodEnergy energyPerPeriod(EnergyPeriod p, const std::vector<std::int64_t>& hourTimes,
                             const std::vector<double>& hourKwh, std::int64_t from, std::int64_t to,
                             std::int64_t now, const EnergyPricing& pricing, const ReadStop* stop,
                             WeekStart weekStart) {
    PeriodEnergy out;
    const std::size_t rows = std::min(hourTimes.size(), hourKwh.size());
    const std::int64_t firstDay = rows > 0 ? midnightAfter(hourTimes.front(), 0, 0) : 0;
    std::size_t row = 0;
    for (std::int64_t start = energyPeriodStart(p, from, weekStart);
         start < to && start <= now &&
         out.time.size() < static_cast<std::size_t>(kMaxEnergyPeriods);) {
        if (stop != nullptr && stop->stopped()) break;
        const std::int64_t end = nextEnergyPeriodStart(p, start);
        // A time the C library's calendar cannot convert gives no next period: the sum ends.
        if (end <= start) break;
        double kwh = 0, cost = 0;
        while (row < rows && hourTimes[row] < start) ++row;
        const bool empty = row >= rows || hourTimes[row] >= end;
        for (; row < rows && hourTimes[row] < end; ++row) {
            if (!std::isfinite(hourKwh[row]) || hourTimes[row] > now) continue;
            const double used = std::max(hourKwh[row], 0.0);
            kwh += used;
            if (pricing.energyCost)
                cost += pricing.energyCost(used, hourTimes[row], hourTimes[row] + kHourSeconds);
        }
        if (pricing.standingCharge && rows > 0 && p != EnergyPeriod::Hour) {
            // The day after the period's start is the end already found for a day period:
            // each local midnight is looked up once (a lookup is slow with TZ unset).
            for (std::int64_t day = std::max(start, firstDay), next = 0; day < end && day <= now;
                 day = next) {
                cost += pricing.standingCharge(day);
                next = p == EnergyPeriod::Day && day == start ? end : midnightAfter(day, 1, 0);
                if (next <= day) break;
            }
        }
        out.time.push_back(start);
        out.kwh.push_back(kwh);
        out.cost.push_back(cost);
        out.partial.push_back(now < end);
        out.empty.push_back(empty);
        start = end;
    }
    return out;
}

}  // namespace tev::archive
