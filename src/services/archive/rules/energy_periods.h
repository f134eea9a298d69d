#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "services/archive/rules/read_stop.h"

namespace tev::archive {

// The periods energy is summed over, in local time: a day from midnight, a week from the
// midnight of its first day (Sunday as the records' Week row, or Monday as ISO weeks), a
// month from the first's midnight, and an hour as the archive's hour rows start.
enum class EnergyPeriod { Day, Week, Month, Hour };
enum class WeekStart { Sunday, Monday };
std::string_view weekStartName(WeekStart w);  // "sunday", "monday"
bool parseWeekStart(std::string_view text, WeekStart& w);
// Days from the week's first day to the day of week `weekday` (0 Sunday … 6 Saturday).
int daysIntoWeek(int weekday, WeekStart w);
std::string_view energyPeriodName(EnergyPeriod p);
bool parseEnergyPeriod(std::string_view text, EnergyPeriod& p);

// The start of the period of kind `p` that holds `t`, and the start of the period after the one
// that starts at `start` (a day may last 23 or 25 hours).
std::int64_t energyPeriodStart(EnergyPeriod p, std::int64_t t,
                               WeekStart weekStart = WeekStart::Sunday);
std::int64_t nextEnergyPeriodStart(EnergyPeriod p, std::int64_t start);

// What energy costs, handed in so the archive's rules need no tariff: the cost of `kwh` used
// evenly over [from, to), and the standing charge of the local day starting at `dayStart`.
struct EnergyPricing {
    std::function<double(double kwh, std::int64_t from, std::int64_t to)> energyCost;
    std::function<double(std::int64_t dayStart)> standingCharge;
};

// Columnar energy per period, oldest first.
struct PeriodEnergy {
    std::vector<std::int64_t> time;  // period starts, Unix seconds
    std::vector<double> kwh;
    std::vector<double> cost;
    std::vector<bool> partial;  // the period still running at `now`
    std::vector<bool> empty;    // no hour row at all falls in the period
};

// Sums one meter's hour rows (`hourTimes` oldest first, `hourKwh` the energy of each hour; NaN
// for an hour without energy) into every period from the one holding `from` to the last one
// starting before `to` and at or before `now`; periods without rows count 0 kWh and are marked
// empty. Each hour is
// priced over its own span; each local day from the first hour row's day up to `now` carries
// its standing charge, except in hour periods: a day's standing charge belongs to no one of its
// hours, so an hour's cost is its energy's alone. At most kMaxEnergyPeriods periods, and none more
// once `stop` says so.
PeriodEnergy energyPerPeriod(EnergyPeriod p, const std::vector<std::int64_t>& hourTimes,
                             const std::vector<double>& hourKwh, std::int64_t from, std::int64_t to,
                             std::int64_t now, const EnergyPricing& pricing,
                             const ReadStop* stop = nullptr,
                             WeekStart weekStart = WeekStart::Sunday);

// The most periods one sum covers: the days of three years and a month, and a few more.
inline constexpr int kMaxEnergyPeriods = 1200;

}  // namespace tev::archive
