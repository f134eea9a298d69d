#include "core/store/measurement_store.h"

namespace tev {

MeasurementStore::MeasurementStore()
    : tables_{ScaleTable(TimeScale::Min),  ScaleTable(TimeScale::M5),  ScaleTable(TimeScale::M10),
              ScaleTable(TimeScale::Hour), ScaleTable(TimeScale::Day), ScaleTable(TimeScale::Week),
              ScaleTable(TimeScale::Month)} {}

void MeasurementStore::resetData() {
    for (ScaleTable& t : tables_) t.cnt = 0;
    LiveReadings& l = live;
    l.SmoothV1 = l.SmoothV2 = l.SmoothV3 = 0;
    l.SmoothAmp = l.SmoothA1 = l.SmoothA2 = l.SmoothA3 = 0;
    l.SmoothWatt = l.SmoothW1 = l.SmoothW2 = l.SmoothW3 = 0;
    l.KWh = l.K1 = l.K2 = l.K3 = 0;
    l.WeekKWh = l.WeekK1 = l.WeekK2 = l.WeekK3 = 0;
    l.MonthKWh = l.MonthK1 = l.MonthK2 = l.MonthK3 = 0;
    l.TotalKWh = 0;
    // Only the quantity cells of row 0: its date and time, every other row, the raw values,
    // the day averages, the calendar counters and the registry stay as they are.
    for (ScaleTable& t : tables_)
        for (int c = 0; c < kQuantityCount; ++c) t.raw(c, 0) = 0;
}

}  // namespace tev
