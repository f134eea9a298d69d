#include "core/chart/channel_data.h"

#include <algorithm>
#include <cmath>

namespace tev {

namespace {

// CH1 on Day, Week and Month turns the period's energy into a mean current at a nominal
// 220 V (kWh x 1000 / (hours x 220)) and a mean power (kWh / days or hours).
constexpr double kNominalVolts = 220.0;
constexpr double kHoursPerDay = 24.0;
constexpr double kDaysPerWeek = 7.0;
constexpr double kDaysPerMonth = 30.0;
constexpr double kWattsPerKilowatt = 1000.0;
constexpr double kKilowattsPerWatt = 0.001;

double periodDivisor(TimeScale scale) {
    switch (scale) {
        case TimeScale::Day:
            return kHoursPerDay;
        case TimeScale::Week:
            return kDaysPerWeek;
        default:
            return kDaysPerMonth;
    }
}

bool isLongScale(TimeScale scale) {
    return static_cast<int>(scale) >= static_cast<int>(TimeScale::Day);
}

bool inRange(Quantity q, Quantity first, Quantity last) {
    return static_cast<int>(q) >= static_cast<int>(first) &&
           static_cast<int>(q) <= static_cast<int>(last);
}

// The newest row the display may read: a records file can hold any cnt, so it is held to
// the table's slots and to the display buffers.
int readableRows(int rows, const ScaleTable& table) {
    return std::clamp(rows, 0, std::min(table.rowSlots(), kDisplayBufferSize) - 1);
}

}  // namespace

bool channelShowsData(const ChartChannel& channel) {
    const int q = static_cast<int>(channel.quantity);
    return q >= 1 && q <= kQuantityCount && isValidScale(static_cast<int>(channel.timeScale));
}

double displayFactor(Quantity quantity, TimeScale scale, int channelNumber, int& sourceColumn) {
    sourceColumn = quantityColumn(quantity);
    const bool energyBased = channelNumber == 1 && isLongScale(scale);
    if (inRange(quantity, Quantity::Amp, Quantity::A3)) {
        if (!energyBased) return 1.0;
        sourceColumn = kColKWh + (static_cast<int>(quantity) - static_cast<int>(Quantity::Amp));
        return kWattsPerKilowatt / (periodDivisor(scale) * kNominalVolts);
    }
    if (inRange(quantity, Quantity::Watt, Quantity::W3)) {
        if (!energyBased) return kKilowattsPerWatt;
        sourceColumn = kColKWh + (static_cast<int>(quantity) - static_cast<int>(Quantity::Watt));
        return 1.0 / periodDivisor(scale);
    }
    return 1.0;
}

void copyChannelData(ChartChannel& channel, const MeasurementStore& store, int channelNumber) {
    if (!isValidScale(static_cast<int>(channel.timeScale))) return;
    const ScaleTable& table = store.table(channel.timeScale);
    if (channelShowsData(channel)) {
        channel.rowCount = readableRows(table.cnt, table);
        int column = 0;
        const double factor =
            displayFactor(channel.quantity, channel.timeScale, channelNumber, column);
        const int newest = channel.rowCount;
        for (int r = 0; r <= newest; ++r) {
            const float v = static_cast<float>(table.value(column, newest - r) * factor);
            // A damaged cell must not turn the plot's scale into NaN.
            channel.values[r] = std::isfinite(v) ? v : 0.0f;
        }
    }
    const int newest = readableRows(channel.rowCount, table);
    for (int r = 0; r <= newest; ++r) channel.dates[r] = table.date(newest - r);
    if (table.hasTimeColumn())
        for (int r = 0; r <= newest; ++r) channel.minutes[r] = table.time(newest - r);
}

}  // namespace tev
