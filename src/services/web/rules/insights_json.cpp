#include "services/web/rules/insights_json.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/texts/json_text.h"
#include "services/alerts/tariff/local_midnight.h"
#include "services/archive/rules/local_time.h"

namespace tev::web {
namespace {

constexpr int kKwhDecimals = 4;
constexpr int kCostDecimals = 4;
constexpr int kWattDecimals = 1;
constexpr int kShareDecimals = 3;
constexpr int kBaseLoadDays = 365;
constexpr int kUnusualDays = 90;
constexpr int kMinuteDays = 35;
constexpr int kPeakMonthsBack = 12;  // and this month: 13
constexpr const char* kPhaseNames[] = {"L1", "L2", "L3"};

std::int64_t midnightAfter(std::int64_t t, int days, int months = 0) {
    return static_cast<std::int64_t>(
        alerts::localMidnightAfter(static_cast<std::time_t>(t), days, months));
}

// The tariff's prices, or nothing but zeros; with `standing` false each day's standing charge
// is left out, so that the difference of two sums is the standing charges one holds.
archive::EnergyPricing pricingOf(const alerts::Tariff* tariff, alerts::TariffPricer* pricer,
                                 bool standing) {
    archive::EnergyPricing p;
    if (tariff == nullptr || pricer == nullptr) {
        p.energyCost = [](double, std::int64_t, std::int64_t) { return 0.0; };
        p.standingCharge = [](std::int64_t) { return 0.0; };
        return p;
    }
    p.energyCost = [pricer](double kwh, std::int64_t from, std::int64_t to) {
        return pricer->energyCost(kwh, static_cast<std::time_t>(from),
                                  static_cast<std::time_t>(to));
    };
    p.standingCharge = [tariff, standing](std::int64_t day) {
        return standing ? tariff->standingChargeOn(static_cast<std::time_t>(day)) : 0.0;
    };
    return p;
}

void appendKwh(std::string& out, double v) {
    appendJsonFixed(out, v, kKwhDecimals, true);
}

void appendOptional(std::string& out, const std::optional<double>& v, int decimals) {
    if (v)
        appendJsonFixed(out, *v, decimals, true);
    else
        out += "null";
}

void appendMember(std::string& out, std::string_view key) {
    if (out.back() != '{') out += ',';
    out += '"';
    out += key;
    out += "\":";
}

void appendName(std::string& out, const MeterName& name) {
    if (name)
        appendJsonString(out, *name);
    else
        out += "null";
}

void appendBool(std::string& out, bool v) {
    out += v ? "true" : "false";
}

void appendPeak(std::string& out, const std::optional<archive::Peak>& p) {
    if (!p) {
        out += "null";
        return;
    }
    out += "{\"start\":";
    appendJsonInteger(out, p->start);
    out += ",\"watts\":";
    appendJsonFixed(out, p->watts, kWattDecimals, true);
    out += ",\"from_minutes\":";
    appendBool(out, p->fromMinutes);
    out += '}';
}

// Today's figures: {"kwh":…,"cost":…|null}; `standing` false leaves the standing charge out.
void appendToday(std::string& out, const MeterInsights& m, bool standing) {
    out += "{\"kwh\":";
    appendKwh(out, m.todayKwh);
    out += ",\"cost\":";
    appendOptional(
        out,
        m.priced ? std::optional(m.todayCost - (standing ? 0 : m.todayStanding)) : std::nullopt,
        kCostDecimals);
    out += '}';
}

void appendMonth(std::string& out, const MeterInsights& m, bool standing) {
    const archive::MonthFigures& f = m.month;
    out += '{';
    appendMember(out, "start");
    appendJsonInteger(out, f.monthStart);
    appendMember(out, "end");
    appendJsonInteger(out, f.monthEnd);
    appendMember(out, "kwh_to_date");
    appendKwh(out, f.kwhToDate);
    appendMember(out, "cost_to_date");
    appendOptional(
        out,
        m.priced ? std::optional(f.costToDate - (standing ? 0 : m.monthStanding)) : std::nullopt,
        kCostDecimals);
    appendMember(out, "projected_kwh");
    appendOptional(out, f.projectedKwh, kKwhDecimals);
    appendMember(out, "projected_cost");
    appendOptional(out,
                   m.priced && f.projectedCost
                       ? std::optional(*f.projectedCost - (standing ? 0 : m.projectedStanding))
                       : std::nullopt,
                   kCostDecimals);
    appendMember(out, "history_days");
    appendJsonInteger(out, f.historyDays);
    appendMember(out, "last_month_kwh_to_date");
    appendOptional(out, f.lastMonthKwhToDate, kKwhDecimals);
    appendMember(out, "last_month_kwh");
    appendOptional(out, f.lastMonthKwh, kKwhDecimals);
    appendMember(out, "last_year_kwh_to_date");
    appendOptional(out, f.lastYearKwhToDate, kKwhDecimals);
    appendMember(out, "last_year_kwh");
    appendOptional(out, f.lastYearKwh, kKwhDecimals);
    out += '}';
}

std::string kilowattText(double watts) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f kW", std::max(watts, 100.0) / 1000);
    return text;
}

std::string percentText(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f %%", percent);
    return text;
}

}  // namespace

std::int64_t insightsHoursFrom(std::int64_t now) {
    return midnightAfter(now, 0, -kPeakMonthsBack);
}

std::int64_t insightsMinutesFrom(std::int64_t now) {
    return midnightAfter(now, -kMinuteDays);
}

namespace {

archive::SeriesQuery queryOf(const std::string& meter, archive::Resolution resolution,
                             std::vector<std::string> quantities, std::int64_t from,
                             std::int64_t now) {
    archive::SeriesQuery q;
    q.meter = meter;
    q.resolution = resolution;
    q.quantities = std::move(quantities);
    q.from = from;
    q.to = archive::localHourStart(now) + 3600;
    return q;
}

// The column of `name`, or NaN in every row.
std::vector<double> columnOf(const archive::ArchiveSeries& s, std::string_view name) {
    for (std::size_t q = 0; q < s.quantities.size() && q < s.values.size(); ++q)
        if (s.quantities[q] != nullptr && s.quantities[q]->name == name) {
            std::vector<double> v = s.values[q];
            v.resize(s.time.size(), std::nan(""));
            return v;
        }
    return std::vector<double>(s.time.size(), std::nan(""));
}

}  // namespace

archive::SeriesQuery insightsHourQuery(const std::string& meter, std::int64_t now) {
    return queryOf(meter, archive::Resolution::Hour, {"Energy", "Watt", "W1", "W2", "W3"},
                   insightsHoursFrom(now), now);
}

archive::SeriesQuery insightsMinuteQuery(const std::string& meter, std::int64_t now) {
    return queryOf(meter, archive::Resolution::Minute, {"Watt"}, insightsMinutesFrom(now), now);
}

archive::HourRows hourRowsOf(const archive::ArchiveSeries& series) {
    archive::HourRows rows;
    rows.time = series.time;
    rows.kwh = columnOf(series, "Energy");
    rows.watts = columnOf(series, "Watt");
    const std::vector<double> w[3] = {columnOf(series, "W1"), columnOf(series, "W2"),
                                      columnOf(series, "W3")};
    rows.phaseWatts.resize(series.time.size());
    for (std::size_t i = 0; i < series.time.size(); ++i)
        rows.phaseWatts[i] = {w[0][i], w[1][i], w[2][i]};
    return rows;
}

archive::MinuteRows minuteRowsOf(const archive::ArchiveSeries& series) {
    return {series.time, columnOf(series, "Watt")};
}

MeterInsights meterInsights(std::string meter, MeterName name, const archive::HourRows& hours,
                            const archive::MinuteRows& minutes, std::int64_t now,
                            const alerts::Tariff* tariff, const InsightsSettings& settings,
                            const archive::ReadStop* stop) {
    MeterInsights m;
    m.meter = std::move(meter);
    m.name = std::move(name);
    m.now = now;
    m.priced = tariff != nullptr && tariff->configured();
    m.phaseLimitPercent = settings.phaseLimitPercent;
    std::optional<alerts::TariffPricer> pricer;
    if (m.priced) pricer.emplace(*tariff);
    const alerts::Tariff* priceBy = m.priced ? tariff : nullptr;
    alerts::TariffPricer* pricerPtr = pricer ? &*pricer : nullptr;
    const archive::EnergyPricing pricing = pricingOf(priceBy, pricerPtr, true);
    const archive::EnergyPricing energyOnly = pricingOf(priceBy, pricerPtr, false);

    const std::int64_t today = midnightAfter(now, 0);
    const auto day = archive::energyPerPeriod(archive::EnergyPeriod::Day, hours.time, hours.kwh,
                                              today, now + 1, now, pricing);
    const auto dayEnergy = archive::energyPerPeriod(archive::EnergyPeriod::Day, hours.time,
                                                    hours.kwh, today, now + 1, now, energyOnly);
    if (!day.kwh.empty()) {
        m.todayKwh = day.kwh.back();
        m.todayCost = day.cost.back();
        m.todayStanding = day.cost.back() - dayEnergy.cost.back();
    }
    m.month = archive::monthFigures(hours, now, pricing);
    if (m.priced) {
        const archive::MonthFigures energy = archive::monthFigures(hours, now, energyOnly);
        m.monthStanding = m.month.costToDate - energy.costToDate;
        if (m.month.projectedCost && energy.projectedCost)
            m.projectedStanding = *m.month.projectedCost - *energy.projectedCost;
    }
    if (stop != nullptr && stop->stopped()) return m;

    m.baseDays =
        archive::baseLoadPerDay(hours, minutes, midnightAfter(now, -kBaseLoadDays), now, stop);
    if (!m.baseDays.empty()) {
        m.base = m.baseDays.back();
        if (m.priced) m.baseYearCost = archive::baseLoadYearCost(m.base->watts, today, pricing);
    }

    const std::int64_t monthStart = m.month.monthStart;
    const std::vector<archive::Peak> daily =
        archive::dailyPeaks(hours, minutes, insightsHoursFrom(now), now, stop);
    m.peakMonths = archive::monthlyPeaks(daily);
    for (const archive::Peak& p : daily) {
        if (p.period >= monthStart) m.peakDays.push_back(p);
        if (p.period == today) m.peakToday = p;
    }
    for (const archive::Peak& p : m.peakMonths)
        if (p.period == monthStart) m.peakMonth = p;
    if (m.priced && settings.demandChargePerKw && m.peakMonth)
        m.demandCharge = *settings.demandChargePerKw * m.peakMonth->watts / 1000;

    m.phases =
        archive::phaseAdvice(hours, now, settings.phaseLimitPercent, settings.phaseFloorWatts);
    m.unusualDays = archive::unusualDays(hours, midnightAfter(now, -kUnusualDays), today, now);
    return m;
}

archive::SeriesQuery eveningHourQuery(const std::string& meter, std::int64_t now) {
    // The month so far and the 28 whole days its projection is made of.
    const std::int64_t from = std::min(
        midnightAfter(now, -29), archive::energyPeriodStart(archive::EnergyPeriod::Month, now));
    return queryOf(meter, archive::Resolution::Hour, {"Energy", "Watt", "W1", "W2", "W3"}, from,
                   now);
}

archive::SeriesQuery eveningMinuteQuery(const std::string& meter, std::int64_t now) {
    return queryOf(meter, archive::Resolution::Minute, {"Watt"}, midnightAfter(now, -2), now);
}

EveningMetrics eveningMetrics(std::string meter, const archive::HourRows& hours,
                              const archive::MinuteRows& minutes, std::int64_t now,
                              const alerts::Tariff* tariff) {
    EveningMetrics e;
    e.meter = std::move(meter);
    const bool priced = tariff != nullptr && tariff->configured();
    std::optional<alerts::TariffPricer> pricer;
    if (priced) pricer.emplace(*tariff);
    const archive::MonthFigures month = archive::monthFigures(
        hours, now, pricingOf(priced ? tariff : nullptr, pricer ? &*pricer : nullptr, true));
    e.monthStart = month.monthStart;
    e.monthKwh = month.kwhToDate;
    if (priced) e.projectedCost = month.projectedCost;
    const auto nights = archive::baseLoadPerDay(hours, minutes, midnightAfter(now, -2), now);
    if (!nights.empty()) e.baseWatts = nights.back().watts;
    return e;
}

std::optional<std::string> phaseAdviceText(const archive::PhaseAdvice& a, double limitPercent) {
    if (a.hoursCounted <= 0 || a.heaviest < 0 || a.lightest < 0) return std::nullopt;
    const std::string when = "the imbalance was above " + percentText(limitPercent) + " in " +
                             percentText(100 * a.shareAboveLimit) +
                             " of the hours of the last 4 weeks.";
    if (a.moveWatts <= 0) return "The phases are balanced: " + when;
    return "Move about " + kilowattText(a.moveWatts) + " of load from " + kPhaseNames[a.heaviest] +
           " to " + kPhaseNames[a.lightest] + ": " + when;
}

std::string meterInsightsJson(const MeterInsights& m, const alerts::Tariff* tariff) {
    std::string out = "{\"meter\":";
    appendJsonString(out, m.meter);
    out += ",\"name\":";
    appendName(out, m.name);
    out += ",\"now\":";
    appendJsonInteger(out, m.now);
    out += ",\"currency\":";
    if (m.priced && tariff != nullptr)
        appendJsonString(out, tariff->currency());
    else
        out += "null";
    out += ",\"today\":";
    appendToday(out, m, true);
    out += ",\"month\":";
    appendMonth(out, m, true);

    out += ",\"base_load\":{\"watts\":";
    appendOptional(out, m.base ? std::optional(m.base->watts) : std::nullopt, kWattDecimals);
    out += ",\"from_minutes\":";
    appendBool(out, m.base && m.base->fromMinutes);
    out += ",\"year_cost\":";
    appendOptional(out, m.baseYearCost, kCostDecimals);
    out += ",\"night_kwh_above_base\":";
    appendOptional(out, m.base ? std::optional(m.base->nightKwhAboveBase) : std::nullopt,
                   kKwhDecimals);
    out += ",\"days\":[";
    for (std::size_t i = 0; i < m.baseDays.size(); ++i) {
        const archive::DayBaseLoad& d = m.baseDays[i];
        out += i ? ",{\"day\":" : "{\"day\":";
        appendJsonInteger(out, d.day);
        out += ",\"watts\":";
        appendJsonFixed(out, d.watts, kWattDecimals, true);
        out += ",\"from_minutes\":";
        appendBool(out, d.fromMinutes);
        out += ",\"night_kwh_above_base\":";
        appendKwh(out, d.nightKwhAboveBase);
        out += '}';
    }
    out += "]}";

    out += ",\"peak\":{\"today\":";
    appendPeak(out, m.peakToday);
    out += ",\"month\":";
    appendPeak(out, m.peakMonth);
    auto peaks = [&out](const std::vector<archive::Peak>& list, const char* key) {
        out += ",\"";
        out += key;
        out += "\":[";
        for (std::size_t i = 0; i < list.size(); ++i) {
            const archive::Peak& p = list[i];
            out += i ? ",{\"" : "{\"";
            out += key[0] == 'd' ? "day" : "month";
            out += "\":";
            appendJsonInteger(out, p.period);
            out += ",\"start\":";
            appendJsonInteger(out, p.start);
            out += ",\"watts\":";
            appendJsonFixed(out, p.watts, kWattDecimals, true);
            out += ",\"from_minutes\":";
            appendBool(out, p.fromMinutes);
            out += '}';
        }
        out += ']';
    };
    peaks(m.peakDays, "days");
    peaks(m.peakMonths, "months");
    out += ",\"demand_charge\":";
    appendOptional(out, m.demandCharge, kCostDecimals);
    out += '}';

    const archive::PhaseAdvice& a = m.phases;
    out += ",\"phases\":{\"hours\":";
    appendJsonInteger(out, a.hoursCounted);
    out += ",\"mean_w\":[";
    for (int p = 0; p < 3; ++p) {
        if (p) out += ',';
        appendJsonFixed(out, a.meanWatts[static_cast<std::size_t>(p)], kWattDecimals, true);
    }
    out += "],\"heaviest\":";
    if (a.heaviest >= 0 && a.heaviest < 3)
        appendJsonString(out, kPhaseNames[a.heaviest]);
    else
        out += "null";
    out += ",\"lightest\":";
    if (a.lightest >= 0 && a.lightest < 3)
        appendJsonString(out, kPhaseNames[a.lightest]);
    else
        out += "null";
    out += ",\"share_above_limit\":";
    appendJsonFixed(out, a.shareAboveLimit, kShareDecimals, true);
    out += ",\"limit_percent\":";
    appendJsonFixed(out, m.phaseLimitPercent, kWattDecimals, true);
    out += ",\"move_w\":";
    appendJsonFixed(out, a.moveWatts, kWattDecimals, true);
    out += ",\"advice\":";
    if (const auto text = phaseAdviceText(a, m.phaseLimitPercent))
        appendJsonString(out, *text);
    else
        out += "null";
    out += '}';

    out += ",\"unusual_days\":[";
    for (std::size_t i = 0; i < m.unusualDays.size(); ++i) {
        const archive::UnusualDay& u = m.unusualDays[i];
        out += i ? ",{\"day\":" : "{\"day\":";
        appendJsonInteger(out, u.day);
        out += ",\"kwh\":";
        appendKwh(out, u.kwh);
        out += ",\"typical_kwh\":";
        appendKwh(out, u.typicalKwh);
        out += '}';
    }
    out += "]}";
    return out;
}

std::string siteInsightsJson(std::int64_t now, const std::vector<MeterInsights>& meters,
                             const alerts::Tariff* tariff) {
    const bool priced = tariff != nullptr && tariff->configured();
    std::string out = "{\"now\":";
    appendJsonInteger(out, now);
    out += ",\"currency\":";
    if (priced)
        appendJsonString(out, tariff->currency());
    else
        out += "null";
    out += ",\"meters\":[";
    double todayKwh = 0, todayCost = 0, monthKwh = 0, monthCost = 0;
    double todayStanding = 0, monthStanding = 0, projectedStanding = 0;
    std::optional<double> projectedKwh, projectedCost;
    for (std::size_t i = 0; i < meters.size(); ++i) {
        const MeterInsights& m = meters[i];
        out += i ? ",{\"meter\":" : "{\"meter\":";
        appendJsonString(out, m.meter);
        out += ",\"name\":";
        appendName(out, m.name);
        out += ",\"today\":";
        appendToday(out, m, false);
        out += ",\"month\":";
        appendMonth(out, m, false);
        out += '}';
        todayKwh += m.todayKwh;
        todayCost += m.todayCost - m.todayStanding;
        monthKwh += m.month.kwhToDate;
        monthCost += m.month.costToDate - m.monthStanding;
        todayStanding = std::max(todayStanding, m.todayStanding);
        monthStanding = std::max(monthStanding, m.monthStanding);
        if (m.month.projectedKwh) projectedKwh = projectedKwh.value_or(0) + *m.month.projectedKwh;
        if (m.month.projectedCost) {
            projectedCost =
                projectedCost.value_or(0) + *m.month.projectedCost - m.projectedStanding;
            projectedStanding = std::max(projectedStanding, m.projectedStanding);
        }
    }
    out += "],\"site\":{\"today\":{\"kwh\":";
    appendKwh(out, todayKwh);
    out += ",\"cost\":";
    appendOptional(out, priced ? std::optional(todayCost + todayStanding) : std::nullopt,
                   kCostDecimals);
    out += "},\"month\":{\"kwh_to_date\":";
    appendKwh(out, monthKwh);
    out += ",\"cost_to_date\":";
    appendOptional(out, priced ? std::optional(monthCost + monthStanding) : std::nullopt,
                   kCostDecimals);
    out += ",\"projected_kwh\":";
    appendOptional(out, projectedKwh, kKwhDecimals);
    out += ",\"projected_cost\":";
    appendOptional(
        out,
        priced && projectedCost ? std::optional(*projectedCost + projectedStanding) : std::nullopt,
        kCostDecimals);
    out += "}}}";
    return out;
}

}  // namespace tev::web
