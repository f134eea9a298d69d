#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/alerts/tariff/tariff.h"
#include "services/archive/rules/archive_queries.h"
#include "services/archive/rules/insights.h"
#include "services/web/rules/energy_quality_json.h"
#include "services/web/rules/snapshot.h"

namespace tev::web {

// What the evening answer is measured against: the phase imbalance the alerts judge
// ([alerts] imbalance_percent), the mean phase power under which an hour is not judged, and
// the price of a kW of the month's peak demand ([tariff] demand_charge_per_kw; none: off).
struct InsightsSettings {
    double phaseLimitPercent = 30;
    double phaseFloorWatts = 200;
    std::optional<double> demandChargePerKw;
};

// One meter's evening figures as of `now`, every cost as the tariff prices it (none without
// one). The costs of `month` and `today` hold the standing charges of their days; those
// charges alone are kept beside them, so that a site of several meters counts them once.
struct MeterInsights {
    std::string meter;
    MeterName name;
    std::int64_t now = 0;
    bool priced = false;
    double todayKwh = 0, todayCost = 0, todayStanding = 0;
    archive::MonthFigures month;
    double monthStanding = 0, projectedStanding = 0;
    // The last whole night's base load, and the nights of the last 365 days, oldest first.
    std::optional<archive::DayBaseLoad> base;
    std::optional<double> baseYearCost;
    std::vector<archive::DayBaseLoad> baseDays;
    // The peaks of today and this month, this month's days and the last 13 months.
    std::optional<archive::Peak> peakToday, peakMonth;
    std::vector<archive::Peak> peakDays, peakMonths;
    std::optional<double> demandCharge;
    archive::PhaseAdvice phases;
    double phaseLimitPercent = 30;
    std::vector<archive::UnusualDay> unusualDays;  // of the last 90 days
};

// The first moments whose rows the figures at `now` need: the hour rows from the first day of
// the month a year before `now`'s (last year's month, the 13 months of peaks, 365 nights), the
// minute rows of the last 35 days.
std::int64_t insightsHoursFrom(std::int64_t now);
std::int64_t insightsMinutesFrom(std::int64_t now);

// The archive queries the figures' rows are read by: one meter's hour rows (Energy, Watt,
// W1..W3) from insightsHoursFrom(now), its minute rows (Watt) from insightsMinutesFrom(now),
// both up to the end of now's hour; and the rows as the figures take them (a missing column
// reads as NaN).
archive::SeriesQuery insightsHourQuery(const std::string& meter, std::int64_t now);
archive::SeriesQuery insightsMinuteQuery(const std::string& meter, std::int64_t now);
archive::HourRows hourRowsOf(const archive::ArchiveSeries& series);
archive::MinuteRows minuteRowsOf(const archive::ArchiveSeries& series);

// The figures from one meter's rows (`minutes` may be empty: the month and the site need
// none). Stops early, with what it has, once `stop` says so.
MeterInsights meterInsights(std::string meter, MeterName name, const archive::HourRows& hours,
                            const archive::MinuteRows& minutes, std::int64_t now,
                            const alerts::Tariff* tariff, const InsightsSettings& settings,
                            const archive::ReadStop* stop = nullptr);

// The rows the figures of /metrics and the broker need at `now` (the month and 28 days before
// it in hours, two nights in minutes), and those figures.
archive::SeriesQuery eveningHourQuery(const std::string& meter, std::int64_t now);
archive::SeriesQuery eveningMinuteQuery(const std::string& meter, std::int64_t now);
EveningMetrics eveningMetrics(std::string meter, const archive::HourRows& hours,
                              const archive::MinuteRows& minutes, std::int64_t now,
                              const alerts::Tariff* tariff);

// "Move about 0.8 kW of load from L1 to L3: the imbalance was above 30 % in 23 % of the hours
// of the last 4 weeks." or "The phases are balanced: …"; nothing without a counted hour.
std::optional<std::string> phaseAdviceText(const archive::PhaseAdvice& a, double limitPercent);

// GET /api/v1/meters/<id>/insights.
std::string meterInsightsJson(const MeterInsights& m, const alerts::Tariff* tariff);

// GET /api/v1/insights: every meter's today and month with their energy's costs alone, and the
// site's sums with the standing charge once (the largest of the meters', as
// /api/v1/costs/meters counts it).
std::string siteInsightsJson(std::int64_t now, const std::vector<MeterInsights>& meters,
                             const alerts::Tariff* tariff);

}  // namespace tev::web
