#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "services/archive/rules/energy_periods.h"
#include "services/archive/rules/read_stop.h"

namespace tev::archive {

// What the evening answer is made of: plain functions over one meter's archive rows, with no
// file, clock or tariff of their own. Times are Unix seconds; days and months are local (the
// process's time zone), so a day may last 23 or 25 hours.

// One meter's hour rows, oldest first. NaN where a row has no value.
struct HourRows {
    std::vector<std::int64_t> time;                 // hour starts
    std::vector<double> kwh;                        // energy used in the hour
    std::vector<double> watts;                      // mean power of the hour
    std::vector<std::array<double, 3>> phaseWatts;  // mean power of L1, L2, L3
};

// One meter's minute rows, oldest first (the archive keeps them for weeks, not years).
struct MinuteRows {
    std::vector<std::int64_t> time;  // minute starts
    std::vector<double> watts;       // mean power of the minute; NaN: none
};

// ---- The month: to date, projected, and the same point of the month before and a year ago.
struct MonthFigures {
    std::int64_t monthStart = 0, monthEnd = 0;  // local midnights
    double kwhToDate = 0, costToDate = 0;       // from monthStart to now, standing charges in
    // The month's end as this month's days so far and the typical weekday and weekend day of
    // the last 28 whole days say: every hour still to come counted at the mean of the same
    // local hour on days of its kind, priced over its own hour, plus each day's standing
    // charge. Nothing without a whole day of history.
    std::optional<double> projectedKwh, projectedCost;
    int historyDays = 0;  // whole days the typical days were made of
    // The month before and the same month a year ago: up to the same day and time of day (the
    // month's last day where it is shorter), and whole. Nothing where the archive has no row.
    std::optional<double> lastMonthKwhToDate, lastMonthKwh, lastYearKwhToDate, lastYearKwh;
};
MonthFigures monthFigures(const HourRows& hours, std::int64_t now, const EnergyPricing& pricing);

// ---- The always-on load.
// A day's base load: the 10th percentile of the minute mean powers between 00:00 and 05:00
// local (at least 60 of them), or, without enough minute rows, the lowest hour mean of those
// hours (`fromMinutes` false). The night's use above base: the energy of 00:00-05:00 less
// base load × the night's length.
struct DayBaseLoad {
    std::int64_t day = 0;  // local midnight
    double watts = 0;
    bool fromMinutes = false;
    double nightKwhAboveBase = 0;
};
// Every day from the one holding `from` to the last whole night before `to`, days without
// night rows left out; at most kMaxEnergyPeriods days, fewer once `stop` says so.
std::vector<DayBaseLoad> baseLoadPerDay(const HourRows& hours, const MinuteRows& minutes,
                                        std::int64_t from, std::int64_t to,
                                        const ReadStop* stop = nullptr);
// What `watts` drawn all the time cost over a year at the prices of the local day holding
// `day` (each of its hours priced at its own price, times 365); the standing charge is not in.
double baseLoadYearCost(double watts, std::int64_t day, const EnergyPricing& pricing);

// ---- Peak demand: the highest mean power over 15 minutes starting on a quarter hour.
// From the minute rows where the quarter holds at least 10 of them; else the highest hour
// mean (`fromMinutes` false), which can only understate the peak.
struct Peak {
    std::int64_t period = 0;  // local midnight of the day, or of the month's first day
    std::int64_t start = 0;   // the quarter hour (or hour) it was reached in
    double watts = 0;
    bool fromMinutes = false;
};
std::vector<Peak> dailyPeaks(const HourRows& hours, const MinuteRows& minutes, std::int64_t from,
                             std::int64_t to, const ReadStop* stop = nullptr);
// The highest of each month's daily peaks.
std::vector<Peak> monthlyPeaks(const std::vector<Peak>& daily);

// ---- Phase balancing, from the hour rows of the 28 days before `now`.
// An hour counts when its phases' mean is above `floorWatts`. Its imbalance is
// phaseImbalancePercent of the three hour means; the heaviest phase is the one with the
// highest mean over the counted hours; the move is the power that, taken from the heaviest
// phase and given to the lightest in every counted hour, brings the imbalance of at least
// 90 % of them to `limitPercent` or under.
struct PhaseAdvice {
    int hoursCounted = 0;
    std::array<double, 3> meanWatts{};  // of the counted hours
    int heaviest = -1, lightest = -1;   // 0 L1, 1 L2, 2 L3; -1 without counted hours
    double shareAboveLimit = 0;         // 0..1 of the counted hours
    double moveWatts = 0;               // 0 when already under the limit
};
PhaseAdvice phaseAdvice(const HourRows& hours, std::int64_t now, double limitPercent,
                        double floorWatts);

// ---- Unusual days: a whole day whose energy is above 1.5 × the median of the same weekday's
// last four days with rows, and at least 2 kWh above it. Days of the same weekday with no row
// are skipped; fewer than two such days make no typical.
struct UnusualDay {
    std::int64_t day = 0;  // local midnight
    double kwh = 0, typicalKwh = 0;
};
std::vector<UnusualDay> unusualDays(const HourRows& hours, std::int64_t from, std::int64_t to,
                                    std::int64_t now);

}  // namespace tev::archive
