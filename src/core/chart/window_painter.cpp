#include "core/chart/window_painter.h"

#include "core/chart/channel_data.h"
#include "core/chart/channel_geometry.h"
#include "core/chart/channel_painter.h"
#include "core/chart/connection_labels.h"
#include "core/chart/readings_panel.h"

namespace tev {

ConnectionLabels paintWindow(Canvas& canvas, MeasurementStore& store, ViewState& view,
                             const PaintContext& ctx) {
    ConnectionLabels labels = connectionLabels(ctx);
    paintReadingsPanel(canvas, store.live, ctx.language);
    for (int number = 1; number <= 2; ++number)
        paintChannelPanel(canvas, view.channel(number), geometryOfChannel(number));
    for (int number = 1; number <= 2; ++number)
        copyChannelData(view.channel(number), store, number);
    for (int number = 1; number <= 2; ++number) {
        ChartChannel& channel = view.channel(number);
        const ChannelGeometry& g = geometryOfChannel(number);
        paintChannelPlot(canvas, channel, store.live, g);
        paintChannelCursor(canvas, channel, g, ctx.language);
    }
    paintChannelNames(canvas, view.activeChannel);
    paintDiagnostics(canvas, store, view);
    return labels;
}

}  // namespace tev
