#pragma once

#include <span>

#include "core/recordsio/csv_import.h"
#include "core/store/measurement_store.h"

namespace tev {

// Rebuilds the tables from imported ten-minute samples: Min and M5 emptied; M10 the newest
// samples; Hour the samples that end a whole hour; Day the 23:50 samples; Week sums of seven
// days; Month sums of the days of each month. Only Date, Time and KWh are filled; every other
// cell of the rebuilt rows is 0. Day, Week and Month keep at least one row (cnt 1).
void rebuildFromSamples(MeasurementStore& store, std::span<const ImportSample> samples);

}  // namespace tev
