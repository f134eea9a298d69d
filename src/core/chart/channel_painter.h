#pragma once

#include "core/chart/canvas.h"
#include "core/chart/channel_geometry.h"
#include "core/chart/chart_channel.h"
#include "core/store/live_readings.h"
#include "core/texts/event_log.h"

namespace tev {

// The panel of one channel: panel rectangle, title and the empty plot rectangle.
void paintChannelPanel(Canvas& canvas, const ChartChannel& channel, const ChannelGeometry& g);

// The plot of one channel from its display buffers: clamps span, sets xStep and yScale, and
// draws grid, axis texts, time axis, series or bars and the value texts. Draws nothing for a
// channel that shows None.
void paintChannelPlot(Canvas& canvas, ChartChannel& channel, const LiveReadings& live,
                      const ChannelGeometry& g);

// The read-out cursor of one channel while it is on: the mark text and, for a channel with a
// quantity, the cursor lines at cursorX, the value and the time read-out; sets cursorIndex.
// A channel that shows None has no scale of this paint, so it gets the mark text only. On
// Day, Week and Month, whose rows carry no time of day, the read-out is the date alone.
void paintChannelCursor(Canvas& canvas, ChartChannel& channel, const ChannelGeometry& g,
                        LanguageMode language);

// "CH1" and "CH2", the active one highlighted.
void paintChannelNames(Canvas& canvas, int activeChannel);

}  // namespace tev
