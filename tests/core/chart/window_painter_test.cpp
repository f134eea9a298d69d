#include "core/chart/window_painter.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/chart/chart_colours.h"
#include "core/chart/connection_labels.h"
#include "tests/support/recording_canvas.h"

namespace tev::testing {
namespace {

TEST(ConnectionTexts, ConnectedMeterSetsBothLabelsExceptTheCaptionInChineseMode) {
    PaintContext ctx;
    ctx.meterCount = 1;
    ctx.currentIp = "192.168.1.20";
    ctx.currentId = "A1B2C3D4E5F6";

    ctx.language = LanguageMode::English;
    ConnectionLabels l = connectionLabels(ctx);
    EXPECT_TRUE(l.update);
    EXPECT_TRUE(l.connectCaptionChanged);
    EXPECT_EQ(l.connectCaption, "HOQ: 192.168.1.20");
    EXPECT_EQ(l.connectColour, (Rgb{255, 0, 0}));
    EXPECT_EQ(l.idCaption, "ID: A1B2C3D4E5F6");
    EXPECT_EQ(l.idColour, (Rgb{255, 0, 255}));

    ctx.language = LanguageMode::Bilingual;
    EXPECT_EQ(connectionLabels(ctx).connectCaption, "連線 192.168.1.20");

    ctx.language = LanguageMode::Chinese;
    l = connectionLabels(ctx);
    EXPECT_TRUE(l.update);
    EXPECT_FALSE(l.connectCaptionChanged);
    EXPECT_EQ(l.connectColour, (Rgb{255, 0, 0}));
    EXPECT_EQ(l.idCaption, "ID: A1B2C3D4E5F6");
}

TEST(ConnectionTexts, NoMeterLinkOffOrNoAddressLeavesTheLabelsAlone) {
    PaintContext ctx;
    ctx.language = LanguageMode::English;
    ctx.currentIp = "192.168.1.20";
    EXPECT_FALSE(connectionLabels(ctx).update);
    ctx.meterCount = 1;
    ctx.linkOn = false;
    EXPECT_FALSE(connectionLabels(ctx).update);
    ctx.linkOn = true;
    ctx.currentIp = "";
    EXPECT_FALSE(connectionLabels(ctx).update);
}

TEST(WindowPaint, DrawsPanelThenChannelsThenNamesThenDiagnostics) {
    auto store = std::make_unique<MeasurementStore>();
    auto view = std::make_unique<ViewState>();
    ChartChannel& ch1 = view->channel(1);
    ChartChannel& ch2 = view->channel(2);
    ch1.quantity = Quantity::V1;
    ch1.timeScale = TimeScale::Min;
    ch2.quantity = Quantity::Watt;
    ch2.timeScale = TimeScale::Hour;
    view->activeChannel = 2;
    PaintContext ctx;
    ctx.meterCount = 1;
    ctx.currentIp = "10.0.0.2";
    ctx.currentId = "000000000001";

    RecordingCanvas canvas;
    const ConnectionLabels labels = paintWindow(canvas, *store, *view, ctx);
    EXPECT_TRUE(labels.update);

    const auto rects = canvas.rectangles();
    ASSERT_GE(rects.size(), 5u);
    EXPECT_EQ(rects[0]->x0, 3);    // readings panel
    EXPECT_EQ(rects[1]->y0, 28);   // CH1 panel
    EXPECT_EQ(rects[2]->y0, 50);   // CH1 plot
    EXPECT_EQ(rects[3]->y0, 280);  // CH2 panel
    EXPECT_EQ(rects[4]->y0, 302);  // CH2 plot

    const auto lines = canvas.polylines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_LT(lines[0]->points[0].y, 300);
    EXPECT_GT(lines[1]->points[0].y, 300);

    const auto& calls = canvas.calls;
    const auto nameAt = [&](std::string_view name) {
        for (std::size_t i = 0; i < calls.size(); ++i)
            if (calls[i].text == name) return i;
        return calls.size();
    };
    EXPECT_LT(nameAt("CH1"), nameAt("CH2"));
    EXPECT_LT(nameAt("CH2"), nameAt("Min cnt= 0"));
    EXPECT_EQ(calls.back().text, "X= 0   Y= 0");
    EXPECT_EQ(canvas.findText("CH1")->pen, kInactiveChannelName);
    EXPECT_EQ(canvas.findText("CH2")->pen, kChartYellow);
}

}  // namespace
}  // namespace tev::testing
