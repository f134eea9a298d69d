#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "core/meterlink/meter_names.h"
#include "services/alerts/tariff/tariff.h"
#include "services/archive/rules/archive_queries.h"
#include "services/archive/rules/energy_periods.h"
#include "services/archive/rules/series.h"

namespace tev::web {

// Where an archive row of `resolution` that starts at `t` ends: where the next row is due (a
// day row at the next local midnight).
std::time_t archiveRowEnd(archive::Resolution resolution, std::time_t t);

// The cost of each archive row under `tariff`, as the tidy CSV writes it (four decimals): the
// row's Energy used evenly over its period (a minute, an hour, or the local day), and for a
// Day row the standing charge of that day. Empty cells where the series has no Energy column.
// A minute row whose row before in the series starts more than a minute earlier the same local
// day holds the energy of the silence between them: it is priced over [end of the row before,
// end of this row). The series' first row has no row before and is priced over its own minute,
// as is the first row after a local midnight (that silence's energy is not in the archive).
archive::ExtraColumn archiveCostColumn(const archive::ArchiveSeries& series,
                                       const alerts::Tariff& tariff);

// One meter's energy and cost today, this week (from Sunday, as the records' Week row, or from
// Monday) and this month, from its hour rows. Each day counted from the meter's first archived
// day on carries the standing charge, as the primary meter's costs do.
struct MeterPeriodCosts {
    std::string meter;
    double kwhToday = 0, kwhWeek = 0, kwhMonth = 0;
    double today = 0, week = 0, month = 0;
    // The standing charges that today, week and month hold.
    double standingToday = 0, standingWeek = 0, standingMonth = 0;
    // Today's energy per phase: each hour's energy shared out as its phases' mean powers are;
    // nothing when an hour with energy lacks them.
    std::optional<std::array<double, 3>> kwhTodayPhases;
};

// The first moment whose hour rows `meterPeriodCosts` needs at `now`: the earlier of the
// week's and the month's local midnight.
std::time_t periodCostsFrom(std::time_t now);

// `times` and `kwh`: the meter's hour rows from `periodCostsFrom(now)` on, oldest first;
// `firstRow`: the start of its first archived row of all.
MeterPeriodCosts meterPeriodCosts(std::string meter, const std::vector<std::int64_t>& times,
                                  const std::vector<double>& kwh, std::int64_t firstRow,
                                  std::time_t now, const alerts::Tariff& tariff,
                                  archive::WeekStart weekStart = archive::WeekStart::Sunday,
                                  const std::vector<std::array<double, 3>>* phaseWatts = nullptr);
// The same from the meter's hour rows as the archive reader or the writer's period hours
// hand them.
MeterPeriodCosts meterPeriodCosts(const archive::MeterEnergy& rows, std::time_t now,
                                  const alerts::Tariff& tariff,
                                  archive::WeekStart weekStart = archive::WeekStart::Sunday);

// {"currency":"€","meters":[{"id":…,"name":…,"kwh_today":…,"today":…,"kwh_week":…,"week":…,
// "kwh_month":…,"month":…,"kwh_today_phases":[L1,L2,L3]|null},…],"site":{"kwh_today":…,"today":…,
// "kwh_week":…,"week":…,"kwh_month":…,"month":…},"standing_today":…}. The standing charge is
// the site's: the meters' costs are their energy's alone, and the site's costs are every meter's
// energy plus one standing charge (that of the meter archived longest). Without the mean
// phase power of an hour with energy today, kwh_today_phases is null.
std::string meterCostsJson(const std::vector<MeterPeriodCosts>& meters,
                           const alerts::Tariff& tariff, const MeterNames& names = {});

}  // namespace tev::web
