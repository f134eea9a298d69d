#include "core/recordsio/energy_scaling.h"

#include "core/recordsio/record_columns.h"

namespace tev {

bool scaleEnergy(MeasurementStore& store, double factor) {
    if (store.table(TimeScale::M10).cnt <= 0) return false;
    for (TimeScale s :
         {TimeScale::M10, TimeScale::Hour, TimeScale::Day, TimeScale::Week, TimeScale::Month}) {
        ScaleTable& t = store.table(s);
        if (t.cnt < 0) continue;
        const int last = lastReadableRow(t);
        for (int i = 0; i <= last; ++i) {
            // The product in extended precision, rounded once to the stored float.
            const long double scaled =
                static_cast<long double>(t.value(kColKWh, i)) * static_cast<long double>(factor);
            t.setValue(kColKWh, i, static_cast<float>(scaled));
        }
    }
    return true;
}

}  // namespace tev
