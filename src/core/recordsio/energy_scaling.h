#pragma once

#include "core/store/measurement_store.h"

namespace tev {

// "Wh /1000 " turns watt-hours into kilowatt-hours, "KWh x1000 " the other way.
inline constexpr double kWhToKWhFactor = 0.001;
inline constexpr double kKWhToWhFactor = 1000.0;

// Multiplies the KWh column of the M10, Hour, Day, Week and Month tables by `factor`, rows
// 0 … cnt of each (the live row too). The tables the ten-minute import fills are scaled only
// when M10 holds rows; otherwise nothing changes and false is returned.
bool scaleEnergy(MeasurementStore& store, double factor);

}  // namespace tev
