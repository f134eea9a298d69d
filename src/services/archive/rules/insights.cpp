#include "services/archive/rules/insights.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "core/meterlink/phase_imbalance.h"
#include "services/archive/rules/local_time.h"

namespace tev::archive {
namespace {

constexpr std::int64_t kHourSeconds = 3600;
constexpr std::int64_t kQuarterSeconds = 900;
// The typical days of the projection and the phases' advice look back four weeks.
constexpr int kHistoryDays = 28;
// A day of the projection's history needs energy in this many of its hours.
constexpr int kHistoryDayHours = 20;
// The base load's night: 00:00 to 05:00 local, from at least this many minute rows.
constexpr int kNightEndHour = 5;
constexpr std::size_t kNightMinutes = 60;
constexpr double kBasePercentile = 0.10;
// A quarter hour's mean power needs this many minute rows.
constexpr int kQuarterMinutes = 10;
// Unusual days: compared with the same weekday's last four days with rows, looked for over
// the eight weeks before.
constexpr int kTypicalDays = 4;
constexpr int kTypicalWeeks = 8;
constexpr double kUnusualFactor = 1.5;
constexpr double kUnusualMarginKwh = 2;
// The phases' move brings this share of the counted hours under the limit.
constexpr double kBalancedShare = 0.9;

bool weekend(const std::tm& parts) {
    return parts.tm_wday == 0 || parts.tm_wday == 6;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[(month - 1 + 12) % 12];
}

std::int64_t nextDay(std::int64_t dayStart) {
    return nextEnergyPeriodStart(EnergyPeriod::Day, dayStart);
}

// Local midnight `days` days after the date of `t` (negative: before).
std::int64_t midnightAfter(std::int64_t t, int days) {
    const std::tm p = localParts(t);
    return localUnixSeconds(p.tm_year + 1900, p.tm_mon + 1, p.tm_mday + days, 0, 0, 0);
}

std::size_t hourCount(const HourRows& h) {
    return std::min(h.time.size(), h.kwh.size());
}

// The first index of `times` (sorted) at or after `t`.
std::size_t firstAtOrAfter(const std::vector<std::int64_t>& times, std::size_t count,
                           std::int64_t t) {
    return static_cast<std::size_t>(
        std::lower_bound(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(count), t) -
        times.begin());
}

// An hour row's mean power: its Watt mean, or its energy over the hour where it has none.
double hourWatts(const HourRows& h, std::size_t i) {
    if (i < h.watts.size() && std::isfinite(h.watts[i])) return h.watts[i];
    if (i < h.kwh.size() && std::isfinite(h.kwh[i])) return h.kwh[i] * 1000;
    return NAN;
}

// The energy of the hour rows in [from, to), and whether any row had some.
std::optional<double> kwhBetween(const HourRows& h, std::int64_t from, std::int64_t to) {
    const std::size_t n = hourCount(h);
    double sum = 0;
    bool any = false;
    for (std::size_t i = firstAtOrAfter(h.time, n, from); i < n && h.time[i] < to; ++i) {
        if (!std::isfinite(h.kwh[i])) continue;
        sum += std::max(h.kwh[i], 0.0);
        any = true;
    }
    if (!any) return std::nullopt;
    return sum;
}

// The same day of month and time of day as `parts` in the month starting at `monthStart`, or
// that month's last day where it is shorter.
std::int64_t samePointIn(std::int64_t monthStart, const std::tm& parts) {
    const std::tm m = localParts(monthStart);
    const int day = std::min(parts.tm_mday, daysInMonth(m.tm_year + 1900, m.tm_mon + 1));
    return localUnixSeconds(m.tm_year + 1900, m.tm_mon + 1, day, parts.tm_hour, parts.tm_min,
                            parts.tm_sec);
}

void fillEarlierMonth(const HourRows& h, std::int64_t start, const std::tm& nowParts,
                      std::optional<double>& toDate, std::optional<double>& whole) {
    const std::int64_t end = nextEnergyPeriodStart(EnergyPeriod::Month, start);
    if (end <= start) return;
    toDate = kwhBetween(h, start, samePointIn(start, nowParts));
    whole = kwhBetween(h, start, end);
}

// The mean energy of each local hour on weekdays [0] and weekend days [1] of the whole days
// in [from, to) with energy in most of their hours; the number of such days.
struct TypicalDays {
    std::array<std::array<double, 24>, 2> sum{}, count{};
    double allSum = 0, allCount = 0;
    int days = 0;

    std::optional<double> hourKwh(bool weekendDay, int hour) const {
        const int kind = weekendDay ? 1 : 0;
        if (count[kind][hour] > 0) return sum[kind][hour] / count[kind][hour];
        if (count[1 - kind][hour] > 0) return sum[1 - kind][hour] / count[1 - kind][hour];
        if (allCount > 0) return allSum / allCount;
        return std::nullopt;
    }
};

TypicalDays typicalDays(const HourRows& h, std::int64_t from, std::int64_t to) {
    TypicalDays out;
    const std::size_t n = hourCount(h);
    std::size_t i = firstAtOrAfter(h.time, n, from);
    for (std::int64_t day = from; day < to; day = nextDay(day)) {
        const std::int64_t end = nextDay(day);
        if (end <= day) break;
        std::array<std::array<double, 24>, 2> sum{}, count{};
        int hours = 0;
        for (; i < n && h.time[i] < end; ++i) {
            if (!std::isfinite(h.kwh[i]) || h.time[i] < day) continue;
            const std::tm p = localParts(h.time[i]);
            const int kind = weekend(p) ? 1 : 0;
            sum[kind][p.tm_hour] += std::max(h.kwh[i], 0.0);
            count[kind][p.tm_hour] += 1;
            ++hours;
        }
        if (hours < kHistoryDayHours) continue;
        ++out.days;
        for (int k = 0; k < 2; ++k) {
            for (int hour = 0; hour < 24; ++hour) {
                out.sum[k][hour] += sum[k][hour];
                out.count[k][hour] += count[k][hour];
                out.allSum += sum[k][hour];
                out.allCount += count[k][hour];
            }
        }
    }
    return out;
}

// The nearest-rank percentile `q` (0..1) of `values`, which it reorders.
double percentile(std::vector<double>& values, double q) {
    const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
    const std::size_t index = rank == 0 ? 0 : rank - 1;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                     values.end());
    return values[index];
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

MonthFigures monthFigures(const HourRows& hours, std::int64_t now, const EnergyPricing& pricing) {
    MonthFigures out;
    out.monthStart = energyPeriodStart(EnergyPeriod::Month, now);
    out.monthEnd = nextEnergyPeriodStart(EnergyPeriod::Month, out.monthStart);
    if (out.monthEnd <= out.monthStart) return out;

    const std::size_t n = hourCount(hours);
    const std::vector<std::int64_t> times(hours.time.begin(),
                                          hours.time.begin() + static_cast<std::ptrdiff_t>(n));
    const std::vector<double> kwh(hours.kwh.begin(),
                                  hours.kwh.begin() + static_cast<std::ptrdiff_t>(n));
    const PeriodEnergy month = energyPerPeriod(EnergyPeriod::Month, times, kwh, out.monthStart,
                                               out.monthStart + 1, now, pricing);
    if (!month.kwh.empty()) {
        out.kwhToDate = month.kwh.front();
        out.costToDate = month.cost.front();
    }

    const std::int64_t today = localDayStart(now);
    const TypicalDays typical = typicalDays(hours, midnightAfter(now, -kHistoryDays), today);
    out.historyDays = typical.days;
    if (typical.days > 0) {
        double kwhToCome = 0, costToCome = 0;
        const std::int64_t firstHour = localHourStart(now);
        for (std::int64_t h = firstHour; h < out.monthEnd; h += kHourSeconds) {
            const std::tm p = localParts(h);
            const std::optional<double> mean = typical.hourKwh(weekend(p), p.tm_hour);
            if (!mean) continue;
            // Of the hour holding `now`, only what is still to come.
            const std::int64_t from = std::max(h, now);
            const double part =
                static_cast<double>(h + kHourSeconds - from) / static_cast<double>(kHourSeconds);
            kwhToCome += *mean * part;
            if (pricing.energyCost)
                costToCome += pricing.energyCost(*mean * part, from, h + kHourSeconds);
        }
        // Today's standing charge is in the month to date already.
        if (pricing.standingCharge) {
            for (std::int64_t day = nextDay(today), next = 0; day > today && day < out.monthEnd;
                 day = next) {
                costToCome += pricing.standingCharge(day);
                next = nextDay(day);
                if (next <= day) break;
            }
        }
        out.projectedKwh = out.kwhToDate + kwhToCome;
        out.projectedCost = out.costToDate + costToCome;
    }

    const std::tm nowParts = localParts(now);
    const std::int64_t lastMonth = energyPeriodStart(EnergyPeriod::Month, out.monthStart - 1);
    fillEarlierMonth(hours, lastMonth, nowParts, out.lastMonthKwhToDate, out.lastMonthKwh);
    const std::tm startParts = localParts(out.monthStart);
    const std::int64_t lastYear =
        localUnixSeconds(startParts.tm_year + 1900 - 1, startParts.tm_mon + 1, 1, 0, 0, 0);
    fillEarlierMonth(hours, lastYear, nowParts, out.lastYearKwhToDate, out.lastYearKwh);
    return out;
}

std::vector<DayBaseLoad> baseLoadPerDay(const HourRows& hours, const MinuteRows& minutes,
                                        std::int64_t from, std::int64_t to, const ReadStop* stop) {
    std::vector<DayBaseLoad> out;
    const std::size_t nh = hourCount(hours);
    const std::size_t nm = std::min(minutes.time.size(), minutes.watts.size());
    std::vector<double> values;
    int days = 0;
    for (std::int64_t day = localDayStart(from); day < to && days < kMaxEnergyPeriods;
         day = nextDay(day), ++days) {
        if (stop != nullptr && stop->stopped()) break;
        const std::tm p = localParts(day);
        const std::int64_t nightEnd =
            localUnixSeconds(p.tm_year + 1900, p.tm_mon + 1, p.tm_mday, kNightEndHour, 0, 0);
        if (nightEnd <= day || nightEnd > to) break;

        values.clear();
        double minuteKwh = 0;
        for (std::size_t i = firstAtOrAfter(minutes.time, nm, day);
             i < nm && minutes.time[i] < nightEnd; ++i) {
            if (!std::isfinite(minutes.watts[i])) continue;
            values.push_back(minutes.watts[i]);
            minuteKwh += std::max(minutes.watts[i], 0.0) / 60000;
        }
        const std::size_t minuteRows = values.size();

        double lowestHour = NAN, hourKwh = 0;
        int energyHours = 0;
        for (std::size_t i = firstAtOrAfter(hours.time, nh, day);
             i < nh && hours.time[i] < nightEnd; ++i) {
            const double w = hourWatts(hours, i);
            if (std::isfinite(w) && !(w >= lowestHour)) lowestHour = w;
            if (std::isfinite(hours.kwh[i])) {
                hourKwh += std::max(hours.kwh[i], 0.0);
                ++energyHours;
            }
        }

        DayBaseLoad d;
        d.day = day;
        if (minuteRows >= kNightMinutes) {
            d.watts = percentile(values, kBasePercentile);
            d.fromMinutes = true;
        } else if (std::isfinite(lowestHour)) {
            d.watts = lowestHour;
        } else {
            continue;
        }
        d.watts = std::max(d.watts, 0.0);
        // The night's energy from the hour rows, or from the minute rows where it has none;
        // the base load counted over the same hours.
        if (energyHours > 0)
            d.nightKwhAboveBase = std::max(0.0, hourKwh - d.watts * energyHours / 1000);
        else if (minuteRows > 0)
            d.nightKwhAboveBase =
                std::max(0.0, minuteKwh - d.watts * static_cast<double>(minuteRows) / 60000);
        out.push_back(d);
    }
    return out;
}

double baseLoadYearCost(double watts, std::int64_t day, const EnergyPricing& pricing) {
    if (!pricing.energyCost || !std::isfinite(watts) || watts <= 0) return 0;
    const std::int64_t start = localDayStart(day);
    const std::int64_t end = nextDay(start);
    if (end <= start) return 0;
    double cost = 0;
    for (std::int64_t h = start; h < end; h += kHourSeconds)
        cost += pricing.energyCost(watts / 1000, h, h + kHourSeconds);
    // A day of 23 or 25 hours counts as one of 24, so that the year has 8760 hours.
    const double hoursInDay = static_cast<double>(end - start) / kHourSeconds;
    const double year = cost * 24 / hoursInDay * 365;
    return std::isfinite(year) ? year : 0;
}

std::vector<Peak> dailyPeaks(const HourRows& hours, const MinuteRows& minutes, std::int64_t from,
                             std::int64_t to, const ReadStop* stop) {
    std::vector<Peak> out;
    const std::size_t nh = hourCount(hours);
    const std::size_t nm = std::min(minutes.time.size(), minutes.watts.size());
    std::vector<double> sum;
    std::vector<int> count;
    int days = 0;
    for (std::int64_t day = localDayStart(from); day < to && days < kMaxEnergyPeriods; ++days) {
        if (stop != nullptr && stop->stopped()) break;
        const std::int64_t end = nextDay(day);
        if (end <= day) break;

        const auto quarters =
            static_cast<std::size_t>((end - day + kQuarterSeconds - 1) / kQuarterSeconds);
        sum.assign(quarters, 0);
        count.assign(quarters, 0);
        for (std::size_t i = firstAtOrAfter(minutes.time, nm, day); i < nm && minutes.time[i] < end;
             ++i) {
            if (!std::isfinite(minutes.watts[i])) continue;
            const auto q = static_cast<std::size_t>((minutes.time[i] - day) / kQuarterSeconds);
            sum[q] += minutes.watts[i];
            count[q] += 1;
        }
        Peak peak;
        peak.period = day;
        bool found = false;
        for (std::size_t q = 0; q < quarters; ++q) {
            if (count[q] < kQuarterMinutes) continue;
            const double mean = sum[q] / count[q];
            if (found && !(mean > peak.watts)) continue;
            peak.watts = mean;
            peak.start = day + static_cast<std::int64_t>(q) * kQuarterSeconds;
            peak.fromMinutes = true;
            found = true;
        }
        // An hour's mean is never above the highest quarter within it: an hour mean above the
        // quarters found is from hours the minute rows do not cover.
        for (std::size_t i = firstAtOrAfter(hours.time, nh, day); i < nh && hours.time[i] < end;
             ++i) {
            const double w = hourWatts(hours, i);
            if (!std::isfinite(w) || (found && !(w > peak.watts))) continue;
            peak.watts = w;
            peak.start = hours.time[i];
            peak.fromMinutes = false;
            found = true;
        }
        if (found) out.push_back(peak);
        day = end;
    }
    return out;
}

std::vector<Peak> monthlyPeaks(const std::vector<Peak>& daily) {
    std::vector<Peak> out;
    for (const Peak& d : daily) {
        if (!std::isfinite(d.watts)) continue;
        const std::int64_t month = energyPeriodStart(EnergyPeriod::Month, d.period);
        if (out.empty() || out.back().period != month) {
            out.push_back(d);
        } else if (d.watts > out.back().watts) {
            out.back() = d;
        }
        out.back().period = month;
    }
    return out;
}

PhaseAdvice phaseAdvice(const HourRows& hours, std::int64_t now, double limitPercent,
                        double floorWatts) {
    PhaseAdvice out;
    if (!std::isfinite(limitPercent) || limitPercent < 0) return out;
    const std::tm p = localParts(now);
    const std::int64_t from = localUnixSeconds(
        p.tm_year + 1900, p.tm_mon + 1, p.tm_mday - kHistoryDays, p.tm_hour, p.tm_min, p.tm_sec);
    const std::size_t n = std::min(hours.time.size(), hours.phaseWatts.size());
    std::vector<std::array<double, 3>> counted;
    std::vector<double> imbalance;
    for (std::size_t i = firstAtOrAfter(hours.time, n, from);
         i < n && hours.time[i] + kHourSeconds <= now; ++i) {
        const auto& w = hours.phaseWatts[i];
        if (!std::isfinite(w[0]) || !std::isfinite(w[1]) || !std::isfinite(w[2])) continue;
        const std::optional<double> percent =
            phaseImbalancePercent(w, std::isfinite(floorWatts) ? floorWatts : 0);
        if (!percent) continue;
        counted.push_back(w);
        imbalance.push_back(*percent);
    }
    out.hoursCounted = static_cast<int>(counted.size());
    if (counted.empty()) return out;

    std::array<double, 3> sum{};
    int above = 0;
    for (std::size_t i = 0; i < counted.size(); ++i) {
        for (int k = 0; k < 3; ++k) sum[k] += counted[i][k];
        if (imbalance[i] > limitPercent) ++above;
    }
    const auto hoursCounted = static_cast<double>(counted.size());
    for (int k = 0; k < 3; ++k) out.meanWatts[k] = sum[k] / hoursCounted;
    out.heaviest = static_cast<int>(std::max_element(out.meanWatts.begin(), out.meanWatts.end()) -
                                    out.meanWatts.begin());
    out.lightest = -1;
    for (int k = 0; k < 3; ++k) {
        if (k == out.heaviest) continue;
        if (out.lightest < 0 || out.meanWatts[k] < out.meanWatts[out.lightest]) out.lightest = k;
    }
    out.shareAboveLimit = above / hoursCounted;

    // Moving m watts from the heaviest phase to the lightest keeps an hour's mean; its
    // imbalance is then at most the limit for m in one interval (the largest deviation is
    // convex in m). The move is the least m >= 0 inside the intervals of 90 % of the hours, or,
    // where no m is, the least m inside the most of them.
    const int h = out.heaviest, l = out.lightest;
    const int other = 3 - h - l;
    std::vector<std::pair<double, double>> spans;
    for (const auto& w : counted) {
        const double mean = (w[0] + w[1] + w[2]) / 3;
        const double allowed = limitPercent / 100 * mean;
        if (std::abs(w[other] - mean) > allowed) continue;
        const double lo = std::max({0.0, w[h] - mean - allowed, mean - allowed - w[l]});
        const double hi = std::min(w[h] - mean + allowed, mean + allowed - w[l]);
        if (lo <= hi) spans.emplace_back(lo, hi);
    }
    std::sort(spans.begin(), spans.end());
    const double needed = kBalancedShare * hoursCounted;
    std::size_t best = 0;
    double bestMove = 0;
    for (const auto& candidate : spans) {
        std::size_t inside = 0;
        for (const auto& s : spans)
            if (s.first <= candidate.first && candidate.first <= s.second) ++inside;
        if (inside > best) {
            best = inside;
            bestMove = candidate.first;
        }
        if (static_cast<double>(inside) >= needed - 1e-9) {
            bestMove = candidate.first;
            break;
        }
    }
    out.moveWatts = bestMove;
    return out;
}

std::vector<UnusualDay> unusualDays(const HourRows& hours, std::int64_t from, std::int64_t to,
                                    std::int64_t now) {
    std::vector<UnusualDay> out;
    const std::int64_t first = localDayStart(from);
    // The days before `from` the typical of its first days is made of.
    const std::int64_t lookBack = midnightAfter(first, -7 * kTypicalWeeks);
    std::vector<std::int64_t> dayStart;
    std::vector<std::optional<double>> dayKwh;
    const std::size_t n = hourCount(hours);
    std::size_t i = firstAtOrAfter(hours.time, n, lookBack);
    for (std::int64_t day = lookBack;
         day < to && dayStart.size() < static_cast<std::size_t>(kMaxEnergyPeriods);) {
        const std::int64_t end = nextDay(day);
        if (end <= day || end > now) break;
        double sum = 0;
        bool any = false;
        for (; i < n && hours.time[i] < end; ++i) {
            if (!std::isfinite(hours.kwh[i]) || hours.time[i] < day) continue;
            sum += std::max(hours.kwh[i], 0.0);
            any = true;
        }
        dayStart.push_back(day);
        dayKwh.push_back(any ? std::optional<double>(sum) : std::nullopt);
        day = end;
    }
    std::vector<double> same;
    for (std::size_t d = 0; d < dayStart.size(); ++d) {
        if (dayStart[d] < first || !dayKwh[d]) continue;
        same.clear();
        for (std::size_t back = 7; back <= d && back <= 7 * kTypicalWeeks &&
                                   same.size() < static_cast<std::size_t>(kTypicalDays);
             back += 7) {
            if (dayKwh[d - back]) same.push_back(*dayKwh[d - back]);
        }
        if (same.size() < 2) continue;
        const double typical = median(same);
        const double kwh = *dayKwh[d];
        if (kwh > kUnusualFactor * typical && kwh - typical >= kUnusualMarginKwh)
            out.push_back({dayStart[d], kwh, typical});
    }
    return out;
}

}  // namespace tev::archive
