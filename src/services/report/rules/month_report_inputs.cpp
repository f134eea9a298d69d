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
    r.phaseLimitPercent = sources.insights.phaseLimitPercent;
    const bool priced = sources.tariff != nullptr && sources.tariff->configured();
    if (priced) r.currency = sources.tariff->currency();

    // The figures: the evening answer's at the month's last second.
    web::MeterInsights m;
    archive::HourRows hours;
    if (!web::readMeterInsights(sources.folder, sources.queries, meter, name, month.end - 1, true,
                                sources.tariff, sources.insights, m, error, stop, &hours))
        return error.empty() ? Gathered::NoRows : Gathered::Failed;
    if (stop != nullptr && stop->stopped()) {
        error = "the read was given up";
        return Gathered::Failed;
    }

    // The month's days for its chart and table.
    const archive::PeriodEnergy days =
        archive::energyPerPeriod(archive::EnergyPeriod::Day, hours.time, hours.kwh, month.start,
                                 month.end, month.end - 1, tariffPricing(sources.tariff), stop);
    bool anyRow = false;
    for (std::size_t i = 0; i < days.time.size(); ++i) {
        ReportDay d{days.time[i], std::nullopt, std::nullopt};
        if (!days.empty[i]) {
            anyRow = true;
            d.kwh = days.kwh[i];
            if (priced) d.cost = days.cost[i];
        }
        r.days.push_back(d);
    }
    if (!anyRow) return Gathered::NoRows;

    r.figures = m.month;
    r.kwh = m.month.kwhToDate;
    if (priced) r.cost = m.month.costToDate;
    // The base load as the answer gives it (the month's last whole night), and the month's
    // nights.
    for (const archive::DayBaseLoad& d : m.baseDays)
        if (d.day >= month.start && d.day < month.end) {
            r.baseLoads.push_back(d);
            r.nightKwhAboveBase += d.nightKwhAboveBase;
        }
    if (m.base) {
        r.baseWatts = m.base->watts;
        r.baseFromMinutes = m.base->fromMinutes;
        r.baseYearCost = m.baseYearCost;
    }
    r.dailyPeaks = m.peakDays;
    r.monthPeak = m.peakMonth;
    r.demandCharge = m.demandCharge;
    r.phases = m.phases;

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
    return Gathered::Report;
}

}  // namespace tev::report
