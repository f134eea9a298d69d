#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "core/chart/channel_data.h"
#include "core/chart/channel_geometry.h"
#include "core/chart/channel_painter.h"
#include "core/chart/chart_channel.h"
#include "core/store/measurement_store.h"
#include "tests/support/recording_canvas.h"

namespace tev::testing {

// A store and a view on the heap (both are large), a recording canvas, and helpers that fill
// a table and paint one channel the way the window paint does.
class PaintFixture : public ::testing::Test {
  protected:
    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
    std::unique_ptr<ViewState> view = std::make_unique<ViewState>();
    RecordingCanvas canvas;

    ChartChannel& ch1() { return view->channel(1); }
    ChartChannel& ch2() { return view->channel(2); }

    // Rows 0..n-1 of a table with one column set, the newest being the live row.
    void fillColumn(TimeScale scale, int column, std::initializer_list<float> oldestFirst) {
        ScaleTable& t = store->table(scale);
        int row = 0;
        for (float v : oldestFirst) t.setValue(column, row++, v);
        t.cnt = row - 1;
    }

    void show(int number, Quantity q, TimeScale scale, int span) {
        ChartChannel& ch = view->channel(number);
        ch.quantity = q;
        ch.timeScale = scale;
        ch.span = span;
        ch.spanPerScale[scaleIndex(scale)] = span;
    }

    void paintChannel(int number, LanguageMode language = LanguageMode::Bilingual) {
        ChartChannel& ch = view->channel(number);
        const ChannelGeometry& g = geometryOfChannel(number);
        paintChannelPanel(canvas, ch, g);
        copyChannelData(ch, *store, number);
        paintChannelPlot(canvas, ch, store->live, g);
        paintChannelCursor(canvas, ch, g, language);
    }
};

}  // namespace tev::testing
