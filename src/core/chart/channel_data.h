#pragma once

#include "core/chart/chart_channel.h"
#include "core/store/measurement_store.h"

namespace tev {

// Whether the channel has a quantity and a time scale to show.
bool channelShowsData(const ChartChannel& channel);

// The factor by which the channel's stored column is multiplied for display: kilowatts for
// the power columns and, on CH1 over Day, Week and Month, current and power worked out from
// the period's energy at a nominal 220 V. `sourceColumn` receives the table column read.
double displayFactor(Quantity quantity, TimeScale scale, int channelNumber, int& sourceColumn);

// Copies the shown column of the channel's table, newest row first, into the display buffers
// and sets rowCount; refreshes the dates (and the minutes on Min … Hour) also for a channel
// that shows None, using the rowCount of its last paint.
void copyChannelData(ChartChannel& channel, const MeasurementStore& store, int channelNumber);

}  // namespace tev
