#include "services/report/rules/month_report_inputs.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <memory>

#include "services/archive/rules/local_time.h"
#include "services/archive/rules/voltage_quality.h"

namespace tev::report {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const std::vector<double>* column(const archive::ArchiveSeries& s, std::string_view name) {
    for (std::size_t q = 0; q < s.quantities.size(); ++q)
        if (s.quantities[q] != nullptr && s.quantities[q]->name == name) return &s.values[q];
    return nullptr;
}

double valueAt(const std::vector<double>* c, std::size_t row) {
    return c != nullptr && row < c->size() ? (*c)[row] : kNaN;
}

// The local midnight of the first of the month `back` months before the one starting at
// `monthStart`.
std::int64_t monthsBefore(std::int64_t monthStart, int back) {
    const auto t = static_cast<std::time_t>(monthStart);
    std::tm tm{};
    localtime_r(&t, &tm);
    int index = (tm.tm_year + 1900) * 12 + tm.tm_mon - back;
    return archive::localUnixSeconds(index / 12, index % 12 + 1, 1, 0, 0, 0);
}

archive::ArchiveSeries read(const ReportSources& s, const std::string& meter,
                            archive::Resolution resolution, std::vector<std::string> quantities,
                            std::int64_t from, std::int64_t to, std::string& error,
                            const archive::ReadStop* stop) {
    archive::SeriesQuery q;
    q.meter = meter;
    q.resolution = resolution;
    q.quantities = std::move(quantities);
    q.from = from;
    q.to = to;
    q.stop = stop;
    return s.queries.series(s.folder, q, error);
}

}  // namespace

archive::EnergyPricing tariffPricing(const alerts::Tariff* tariff) {
    archive::EnergyPricing pricing;
    if (tariff == nullptr || !tariff->configured()) return pricing;
    // One pricer for all the hours: it looks each band edge of a day up once.
    auto pricer = std::make_shared<alerts::TariffPricer>(*tariff);
    pricing.energyCost = [pricer](double kwh, std::int64_t from, std::int64_t to) {
        return pricer->energyCost(kwh, static_cast<std::time_t>(from),
                                  static_cast<std::time_t>(to));
    };
    pricing.standingCharge = [tariff](std::int64_t day) {
        return tariff->standingChargeOn(static_cast<std::time_t>(day));
    };
    return pricing;
}

archive::HourRows hourRowsOf(const archive::ArchiveSeries& s) {
    archive::HourRows h;
    const auto* kwh = column(s, "Energy");
    const auto* watts = column(s, "Watt");
    const std::vector<double>* phases[] = {column(s, "W1"), column(s, "W2"), column(s, "W3")};
    h.time = s.time;
    for (std::size_t i = 0; i < s.time.size(); ++i) {
        h.kwh.push_back(valueAt(kwh, i));
        h.watts.push_back(valueAt(watts, i));
        h.phaseWatts.push_back(
            {valueAt(phases[0], i), valueAt(phases[1], i), valueAt(phases[2], i)});
    }
    return h;
}

archive::MinuteRows minuteRowsOf(const archive::ArchiveSeries& s) {
    archive::MinuteRows m;
    const auto* watts = column(s, "Watt");
    m.time = s.time;
    for (std::size_t i = 0; i < s.time.size(); ++i) m.watts.push_back(valueAt(watts, i));
    return m;
}

Gathered gatherMonthReport(const ReportSources& sources, const std::string& meter,
                           const std::optional<std::string>& name, const std::string& monthText,
                           const ReportMonth& month, MonthReport& r, std::string& error,
                           const archive::ReadStop* stop) {
    error.clear();
    r = MonthReport{};
    r.meter = meter;
    r.name = name;
    r.site = sources.site;
    r.month = monthText;
    r.monthStart = month.start;
    r.monthEnd = month.end;
    r.language = sources.language;
    r.phaseLimitPercent = sources.phaseLimitPercent;
    const bool priced = sources.tariff != nullptr && sources.tariff->configured();
    if (priced) r.currency = sources.tariff->currency();
    const std::int64_t at = month.end - 1;

    // The hour rows back to the month before the same month a year ago.
    const archive::ArchiveSeries hourSeries =
        read(sources, meter, archive::Resolution::Hour, {"Energy", "Watt", "W1", "W2", "W3"},
             monthsBefore(month.start, 13), month.end, error, stop);
    if (!error.empty()) return Gathered::Failed;
    const archive::HourRows hours = hourRowsOf(hourSeries);
    const archive::EnergyPricing pricing = tariffPricing(sources.tariff);

    const archive::PeriodEnergy days =
        archive::energyPerPeriod(archive::EnergyPeriod::Day, hours.time, hours.kwh, month.start,
                                 month.end, at, pricing, stop);
    bool anyRow = false;
    double cost = 0;
    for (std::size_t i = 0; i < days.time.size(); ++i) {
        ReportDay d{days.time[i], std::nullopt, std::nullopt};
        if (!days.empty[i]) {
            anyRow = true;
            d.kwh = days.kwh[i];
            r.kwh += days.kwh[i];
            if (priced) {
                d.cost = days.cost[i];
                cost += days.cost[i];
            }
        }
        r.days.push_back(d);
    }
    if (!anyRow) return Gathered::NoRows;
    if (priced) r.cost = cost;
    r.figures = archive::monthFigures(hours, at, pricing);

    const archive::ArchiveSeries minuteSeries = read(sources, meter, archive::Resolution::Minute,
                                                     {"Watt"}, month.start, month.end, error, stop);
    if (!error.empty()) return Gathered::Failed;
    const archive::MinuteRows minutes = minuteRowsOf(minuteSeries);

    // The nights: the month's typical base load is the median of its nights'.
    r.baseLoads = archive::baseLoadPerDay(hours, minutes, month.start, month.end, stop);
    if (!r.baseLoads.empty()) {
        std::vector<archive::DayBaseLoad> sorted = r.baseLoads;
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& a, const auto& b) { return a.watts < b.watts; });
        const archive::DayBaseLoad& median = sorted[(sorted.size() - 1) / 2];
        r.baseWatts = median.watts;
        r.baseFromMinutes = median.fromMinutes;
        if (priced)
            r.baseYearCost =
                archive::baseLoadYearCost(median.watts, archive::localDayStart(at), pricing);
        for (const archive::DayBaseLoad& d : r.baseLoads)
            r.nightKwhAboveBase += d.nightKwhAboveBase;
    }

    r.dailyPeaks = archive::dailyPeaks(hours, minutes, month.start, month.end, stop);
    const std::vector<archive::Peak> monthly = archive::monthlyPeaks(r.dailyPeaks);
    if (!monthly.empty()) r.monthPeak = monthly.back();
    if (r.monthPeak && sources.demandChargePerKw)
        r.demandCharge = *sources.demandChargePerKw * r.monthPeak->watts / 1000;

    // Every ISO week holding a day of the month.
    for (std::int64_t day = month.start; day < month.end;) {
        const auto week = archive::parseIsoWeek(archive::isoWeekName(day));
        if (!week) break;
        const archive::ArchiveSeries v =
            read(sources, meter, archive::Resolution::Minute,
                 {"V1", "V1_min", "V1_max", "V2", "V2_min", "V2_max", "V3", "V3_min", "V3_max"},
                 week->start, week->end, error, stop);
        if (!error.empty()) return Gathered::Failed;
        r.weeks.push_back(archive::weekQuality(v, sources.voltageNominal, week->start, week->end));
        day = week->end;
    }

    if (sources.alerts) {
        r.alerts =
            sources.alerts(sources.folder, meter, month.start * 1000, month.end * 1000, error);
        if (!error.empty()) return Gathered::Failed;
    }
    r.phases = archive::phaseAdvice(hours, at, sources.phaseLimitPercent, sources.phaseFloorWatts);
    return Gathered::Report;
}

}  // namespace tev::report
