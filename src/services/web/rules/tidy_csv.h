#pragma once

#include <string>

#include "core/store/scale_table.h"
#include "services/alerts/tariff/tariff.h"

namespace tev::web {

// The header of the tidy CSV: the time, then the fifteen quantities as the records manager's
// Output orders them, each name with its unit.
inline constexpr std::string_view kTidyHeader =
    "time,KWh_kWh,K1_kWh,K2_kWh,K3_kWh,Amp_A,A1_A,A2_A,A3_A,Watt_W,W1_W,W2_W,W3_W,Vac1_V,"
    "Vac2_V,Vac3_V";

// A CSV that spreadsheets and pandas read with no options: one header line, ISO 8601 local
// times with their offset, oldest first, no banner and no trailing comma, LF line ends. The
// live row only when `includeLive`. A row whose date cell is no date keeps an empty time.
// With a configured tariff, a last column cost_<currency> holds what each row's energy cost
// (see RowCosts), with four decimals; empty where the row has no time.
std::string tidyCsv(const ScaleTable& table, bool includeLive,
                    const alerts::Tariff* tariff = nullptr);

}  // namespace tev::web
