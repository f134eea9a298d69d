#pragma once

#include <optional>
#include <string>

#include "services/alerts/tariff/tariff.h"
#include "services/archive/rules/energy_periods.h"
#include "services/archive/rules/voltage_quality.h"

namespace tev::web {

// The nominal supply voltage when neither [quality] nor [alerts] names one.
inline constexpr double kDefaultVoltageNominal = 230;

// The energy and cost of one meter's periods as the tariff prices them: each hour at its own
// prices and each day with its standing charge; every cost 0 without a tariff.
archive::PeriodEnergy priceEnergy(archive::EnergyPeriod period, const archive::ArchiveSeries& hours,
                                  std::int64_t from, std::int64_t to, std::int64_t now,
                                  const alerts::Tariff* tariff,
                                  const archive::ReadStop* stop = nullptr,
                                  archive::WeekStart weekStart = archive::WeekStart::Sunday);

// A meter's name in an answer: "name":"Kitchen", or null for a meter without one.
using MeterName = std::optional<std::string>;

// {"meter":…,"name":…,"period":"day","currency":"€"|null,"time":[…],"kwh":[…],"cost":[…]|null,
// "partial":[…]}: cost null without a tariff; a period without any hour row has kwh and cost
// null (and is not partial).
std::string energyJson(const std::string& meter, const MeterName& name,
                       archive::EnergyPeriod period, const archive::PeriodEnergy& energy,
                       const alerts::Tariff* tariff);

// {"meter":…,"week":"2026-W13","from":…,"to":…,"nominal_v":230,"nominal_assumed":false,
// "required_share":95,"required_coverage":75,"live_share":50,"week_windows":1008,"minutes":…,
// "phases":[{"phase":"L1","windows":…,"coverage":…,"in_band":…,"share":…,"dead_windows":…,
// "dip_minutes":…,"swell_minutes":…,"lowest_v":…|null,"highest_v":…|null,
// "verdict":"pass"|"fail"|"not enough data"|"no data"},…],
// "worst_unbalance":…|null,"worst_unbalance_at":…|null,"unbalance_windows":…}
std::string qualityJson(const std::string& meter, const archive::WeekQuality& q);
// The same with "name" after "meter", as the dashboard's API gives it.
std::string qualityJson(const std::string& meter, const MeterName& name,
                        const archive::WeekQuality& q);
// The same as a tidy CSV: one line per phase, the week's figures repeated on each.
std::string qualityCsv(const std::string& meter, const archive::WeekQuality& q);

}  // namespace tev::web
