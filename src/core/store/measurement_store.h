#pragma once

#include <array>

#include "core/store/calendar.h"
#include "core/store/live_readings.h"
#include "core/store/meter_registry.h"
#include "core/store/scale_table.h"

namespace tev {

// Everything the application knows about the measured installation: the seven tables, the
// live readings and accounts, the calendar bookkeeping and the meter registry.
class MeasurementStore {
  public:
    MeasurementStore();

    ScaleTable& table(TimeScale s) { return tables_[scaleIndex(s)]; }
    const ScaleTable& table(TimeScale s) const { return tables_[scaleIndex(s)]; }
    ScaleTable& tableAt(int index) { return tables_[index]; }
    const ScaleTable& tableAt(int index) const { return tables_[index]; }

    LiveReadings live;
    Calendar calendar;
    MeterRegistry registry;

    // The data reset of the Reset command: every cnt 0, the quantity cells of row 0 and the
    // smoothed values and energy accounts zeroed.
    void resetData();

  private:
    std::array<ScaleTable, kScaleCount> tables_;
};

}  // namespace tev
