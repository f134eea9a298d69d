#include "app/period_figures.h"

namespace tev::app {

std::string ArchivePeriods::primaryId() {
    if (registry_.MeterCount > 0) lastPrimary_ = std::string(registry_.rows[0].Id.view());
    return lastPrimary_;
}

web::MeterPeriodCosts ArchivePeriods::primary(archive::WeekStart weekStart) {
    const std::string id = primaryId();
    const auto now = static_cast<std::time_t>(unixSecondsOf(clock_));
    archive::MeterEnergy rows = writer_.periodHoursOf(id).value_or(archive::MeterEnergy{});
    rows.meter = id;
    return web::meterPeriodCosts(rows, now, tariff_, weekStart);
}

TodayFigures ArchivePeriods::today() {
    const web::MeterPeriodCosts c = primary();
    TodayFigures f{c.kwhToday, std::nullopt};
    if (tariff_.configured()) f.cost = c.today;
    return f;
}

std::vector<web::MeterPeriodCosts> ArchivePeriods::all(archive::WeekStart weekStart) const {
    const auto now = static_cast<std::time_t>(unixSecondsOf(clock_));
    std::vector<web::MeterPeriodCosts> out;
    for (const archive::MeterEnergy& m : writer_.periodHours())
        out.push_back(web::meterPeriodCosts(m, now, tariff_, weekStart));
    return out;
}

std::vector<std::string> ArchivePeriods::ids() const {
    return writer_.periodMeterIds();
}

}  // namespace tev::app
