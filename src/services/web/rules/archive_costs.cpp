#include "services/web/rules/archive_costs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/texts/json_text.h"
#include "services/alerts/tariff/local_midnight.h"
#include "services/archive/rules/local_time.h"
#include "services/archive/rules/period_hours.h"
#include "services/web/rules/row_cost.h"

namespace tev::web {
namespace {

std::string costText(double cost) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4f", cost);
    return text;
}

// Where the energy of a minute row that starts at `t` began to be used: a minute row after a
// silence the same local day holds what the meter counted over the whole silence, from the end
// of the row before (`previous`) on.
std::time_t minuteRowFrom(std::int64_t previous, std::int64_t t) {
    const std::int64_t previousEnd = previous + 60;
    if (previousEnd >= t || archive::localDayStart(previous) != archive::localDayStart(t)) return t;
    return static_cast<std::time_t>(previousEnd);
}

}  // namespace

std::time_t archiveRowEnd(archive::Resolution resolution, std::time_t t) {
    switch (resolution) {
        case archive::Resolution::Minute:
            return t + 60;
        case archive::Resolution::Hour:
            return t + 3600;
        case archive::Resolution::Day:
            return alerts::localMidnightAfter(t, 1);
    }
    return t + 3600;
}

archive::ExtraColumn archiveCostColumn(const archive::ArchiveSeries& series,
                                       const alerts::Tariff& tariff) {
    archive::ExtraColumn column{costColumnName(tariff), {}};
    column.cells.resize(series.time.size());
    const auto energy =
        std::find_if(series.quantities.begin(), series.quantities.end(),
                     [](const archive::Quantity* q) { return q->name == "Energy"; });
    if (energy == series.quantities.end()) return column;
    const auto& kwh = series.values[static_cast<std::size_t>(energy - series.quantities.begin())];
    alerts::TariffPricer pricer(tariff);
    for (std::size_t row = 0; row < series.time.size(); ++row) {
        // A row the archive holds no energy for (NULL reads as NaN) has no cost either.
        if (!std::isfinite(kwh[row])) continue;
        const auto start = static_cast<std::time_t>(series.time[row]);
        const std::time_t to = archiveRowEnd(series.resolution, start);
        const std::time_t from = series.resolution == archive::Resolution::Minute && row > 0
                                     ? minuteRowFrom(series.time[row - 1], start)
                                     : start;
        double cost = pricer.energyCost(std::max(kwh[row], 0.0), from, to);
        if (series.resolution == archive::Resolution::Day) cost += tariff.standingChargeOn(start);
        column.cells[row] = costText(cost);
    }
    return column;
}

std::time_t periodCostsFrom(std::time_t now) {
    return static_cast<std::time_t>(archive::periodHoursFrom(now));
}

MeterPeriodCosts meterPeriodCosts(const archive::MeterEnergy& rows, std::time_t now,
                                  const alerts::Tariff& tariff, archive::WeekStart weekStart) {
    return meterPeriodCosts(rows.meter, rows.time, rows.kwh, rows.firstRow, now, tariff, weekStart,
                            &rows.phaseWatts);
}

MeterPeriodCosts meterPeriodCosts(std::string meter, const std::vector<std::int64_t>& times,
                                  const std::vector<double>& kwh, std::int64_t firstRow,
                                  std::time_t now, const alerts::Tariff& tariff,
                                  archive::WeekStart firstDayOfWeek,
                                  const std::vector<std::array<double, 3>>* phaseWatts) {
    MeterPeriodCosts c;
    c.meter = std::move(meter);
    std::tm tm{};
    localtime_r(&now, &tm);
    const std::time_t today = alerts::localMidnight(now);
    const std::time_t weekStart =
        alerts::localMidnightAfter(now, -archive::daysIntoWeek(tm.tm_wday, firstDayOfWeek));
    const std::time_t monthStart = alerts::localMidnightAfter(now, 1 - tm.tm_mday);
    alerts::TariffPricer pricer(tariff);
    std::array<double, 3> phases{};
    bool phasesKnown = phaseWatts != nullptr;
    for (std::size_t i = 0; i < times.size() && i < kwh.size(); ++i) {
        const auto t = static_cast<std::time_t>(times[i]);
        if (!std::isfinite(kwh[i]) || t > now) continue;
        const double used = std::max(kwh[i], 0.0);
        const double cost = pricer.energyCost(used, t, t + 3600);
        if (t >= today) {
            c.kwhToday += used;
            c.today += cost;
            // The hour's energy shared out as its phases' mean powers are.
            const std::array<double, 3> w =
                phasesKnown && i < phaseWatts->size()
                    ? (*phaseWatts)[i]
                    : std::array<double, 3>{archive::kNoPhaseWatts, 0, 0};
            const double sum = w[0] + w[1] + w[2];
            if (used > 0 && !(std::isfinite(sum) && sum > 0)) phasesKnown = false;
            if (phasesKnown && used > 0)
                for (int p = 0; p < 3; ++p) phases[p] += used * std::max(w[p], 0.0) / sum;
        }
        if (t >= weekStart) {
            c.kwhWeek += used;
            c.week += cost;
        }
        if (t >= monthStart) {
            c.kwhMonth += used;
            c.month += cost;
        }
    }
    if (phasesKnown) c.kwhTodayPhases = phases;
    // Standing charges for the days the meter was there: a meter that came this Wednesday is
    // not charged for Sunday to Tuesday.
    const std::time_t firstDay = alerts::localMidnight(static_cast<std::time_t>(firstRow));
    if (firstRow > 0 && firstDay <= today) {
        c.standingToday = tariff.standingChargeOn(now);
        c.standingWeek = tariff.standingCharges(std::max(weekStart, firstDay), now);
        c.standingMonth = tariff.standingCharges(std::max(monthStart, firstDay), now);
        c.today += c.standingToday;
        c.week += c.standingWeek;
        c.month += c.standingMonth;
    }
    return c;
}

std::string meterCostsJson(const std::vector<MeterPeriodCosts>& meters,
                           const alerts::Tariff& tariff, const MeterNames& names) {
    auto figures = [](std::string& out, const MeterPeriodCosts& c) {
        char buffer[256];
        std::snprintf(buffer, sizeof buffer,
                      "\"kwh_today\":%.4f,\"today\":%.4f,\"kwh_week\":%.4f,\"week\":%.4f,"
                      "\"kwh_month\":%.4f,\"month\":%.4f",
                      c.kwhToday, c.today, c.kwhWeek, c.week, c.kwhMonth, c.month);
        out += buffer;
    };
    std::string out = "{\"currency\":";
    appendJsonString(out, tariff.currency());
    out += ",\"meters\":[";
    // The site: every meter's energy and its cost, and the standing charge once.
    MeterPeriodCosts site;
    for (std::size_t i = 0; i < meters.size(); ++i) {
        MeterPeriodCosts m = meters[i];
        m.today -= m.standingToday;
        m.week -= m.standingWeek;
        m.month -= m.standingMonth;
        site.kwhToday += m.kwhToday;
        site.kwhWeek += m.kwhWeek;
        site.kwhMonth += m.kwhMonth;
        site.today += m.today;
        site.week += m.week;
        site.month += m.month;
        site.standingToday = std::max(site.standingToday, m.standingToday);
        site.standingWeek = std::max(site.standingWeek, m.standingWeek);
        site.standingMonth = std::max(site.standingMonth, m.standingMonth);
        out += i ? ",{\"id\":" : "{\"id\":";
        appendJsonString(out, m.meter);
        out += ",\"name\":";
        if (const auto name = names.of(m.meter))
            appendJsonString(out, *name);
        else
            out += "null";
        out += ',';
        figures(out, m);
        out += ",\"kwh_today_phases\":";
        if (m.kwhTodayPhases) {
            char phases[96];
            std::snprintf(phases, sizeof phases, "[%.4f,%.4f,%.4f]}", (*m.kwhTodayPhases)[0],
                          (*m.kwhTodayPhases)[1], (*m.kwhTodayPhases)[2]);
            out += phases;
        } else {
            out += "null}";
        }
    }
    site.today += site.standingToday;
    site.week += site.standingWeek;
    site.month += site.standingMonth;
    out += "],\"site\":{";
    figures(out, site);
    char standing[64];
    std::snprintf(standing, sizeof standing, "},\"standing_today\":%.4f}", site.standingToday);
    out += standing;
    return out;
}

}  // namespace tev::web
