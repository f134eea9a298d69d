#include "core/chart/channel_painter.h"

#include <algorithm>
#include <string>

#include "core/chart/channel_data.h"
#include "core/chart/chart_colours.h"
#include "core/chart/grid_step.h"
#include "core/chart/pixel.h"
#include "core/texts/number_text.h"

namespace tev {

namespace {

constexpr float kMaxXStep = 30.0f;
constexpr int kSeriesMargin = 10;  // plot width and height less this are what the data spans
constexpr int kPointInset = 6;     // the newest point sits this far left of the plot's right edge
constexpr int kBarInset = 8;       // the newest bar is centred this far left of it
constexpr int kBaselineInset = 5;  // value 0 sits this far above the plot's bottom edge
constexpr int kMinutesPerHour = 60;
constexpr int kDayOfCode = 100;  // date code mod this is the day (or, on Month, the month)

constexpr int kLabelGap = 3;         // texts right of the plot start this far from its edge
constexpr int kGridLabelRise = 8;    // grid labels sit this far above their line
constexpr int kValueTextRise = 6;    // newest and cursor values sit this far above their point
constexpr int kUnitTextRise = 20;    // unit text above the plot
constexpr int kTopTextRise = 7;      // top value above the plot
constexpr int kBottomTextRise = 10;  // bottom value above the plot's bottom edge
constexpr int kTimeLabelShift = 7;   // hour and point labels start this far left of their line
constexpr int kDayLabelGap = 2;
constexpr int kDayLabelRise = 18;
constexpr int kMarkerLeft = 8, kMarkerRight = 4, kMarkerHalf = 2;
constexpr int kBarFoot = 3;  // bars stand on this line above the plot's bottom edge
constexpr double kDayBarHalf = 0.2, kWeekBarHalf = 2.0 / 9.0, kMonthBarHalf = 0.25;
constexpr int kSmoothTextInset = 4;
constexpr int kCursorLineInset = 2, kCursorSquareHalf = 2;
constexpr int kCursorIndexInset = 5;
constexpr int kReadoutInset = 3, kReadoutDrop = 20;
constexpr double kKilowattsPerWatt = 0.001;

constexpr std::string_view kEnglishCursorMark = "Arrow ON";
constexpr std::string_view kBilingualCursorMark = "游標 ON";

bool isShortScale(TimeScale s) {
    return static_cast<int>(s) <= static_cast<int>(TimeScale::Hour);
}

enum class QuantityKind { Voltage, Current, Power, Energy };

QuantityKind kindOf(Quantity q) {
    const int n = static_cast<int>(q);
    if (n <= static_cast<int>(Quantity::V3)) return QuantityKind::Voltage;
    if (n <= static_cast<int>(Quantity::A3)) return QuantityKind::Current;
    if (n <= static_cast<int>(Quantity::W3)) return QuantityKind::Power;
    return QuantityKind::Energy;
}

// Positions on one channel's plot at the scales of the current paint.
struct PlotScale {
    const ChannelGeometry& g;
    float xStep;
    float yScale;

    int pointX(int age) const {
        return toPixel(g.plotRight - static_cast<double>(age) * xStep - kPointInset);
    }
    double barCentre(int age) const {
        return g.plotRight - static_cast<double>(age) * xStep - kBarInset;
    }
    int valueY(double v) const {
        return toPixel(g.plotBottom - kBaselineInset - v * static_cast<double>(yScale));
    }
};

void chartText(Canvas& canvas, int x, int y, std::string_view text, Rgb colour) {
    canvas.text(x, y, text, kChartFont, colour, kBlack);
}

void paintGrid(Canvas& canvas, const PlotScale& p, float top) {
    const ChannelGeometry& g = p.g;
    const GridStep grid = gridStepFor(top);
    if (grid.step <= 0) return;
    auto drawAt = [&](double k) {
        const int y = p.valueY(k);
        canvas.line(g.plotLeft, y, g.plotRight, y, kGridLineColour);
        chartText(canvas, g.plotRight + kLabelGap, y - kGridLabelRise,
                  formatFixed(k, grid.decimals), kGridLabelColour);
    };
    if (grid.tenths) {
        constexpr double kTenth = 0.1;
        const double tenthsOfTop = static_cast<double>(top) * 10.0;
        for (int n = 2; n < tenthsOfTop; n += 2) drawAt(n * kTenth);
        return;
    }
    for (int i = 1; i * grid.step < top; ++i) drawAt(i * grid.step);
}

void paintAxisTexts(Canvas& canvas, const ChannelGeometry& g, Quantity q, float top, float bottom) {
    std::string_view unit;
    int unitX = g.plotRight + kLabelGap;
    int topDecimals = 2;
    switch (kindOf(q)) {
        case QuantityKind::Voltage:
            unit = "VAC";
            topDecimals = 1;
            break;
        case QuantityKind::Current:
            unit = "A";
            unitX = g.plotRight + 20;
            break;
        case QuantityKind::Power:
            unit = "KW";
            unitX = g.plotRight + 8;
            break;
        case QuantityKind::Energy:
            unit = "KWh";
            break;
    }
    chartText(canvas, unitX, g.plotTop - kUnitTextRise, unit, kChartYellow);
    chartText(canvas, g.plotRight + kLabelGap, g.plotTop - kTopTextRise,
              formatFixed(top, topDecimals), kChartYellow);
    chartText(canvas, g.plotRight + kLabelGap, g.plotBottom - kBottomTextRise, format2(bottom),
              kChartYellow);
}

void paintTimeAxis(Canvas& canvas, const ChartChannel& ch, const PlotScale& p) {
    const ChannelGeometry& g = p.g;
    const int lineTop = g.plotTop + 1;
    const int lineBottom = g.plotBottom - 1;
    const int labelY = g.plotBottom + 1;
    if (!isShortScale(ch.timeScale)) {
        for (int r = 0; r <= ch.span; ++r) {
            const int x = p.pointX(r);
            canvas.line(x, lineTop, x, lineBottom, kHourAndPointLine);
            chartText(canvas, x - kTimeLabelShift, labelY, std::to_string(ch.dates[r] % kDayOfCode),
                      kTimeLabelColour);
        }
        return;
    }
    const Rgb hourLine = ch.timeScale == TimeScale::Hour ? kHourAndPointLine : kShortScaleHourLine;
    std::int32_t lastDate = 0;
    for (int r = 0; r <= ch.span; ++r) {
        const int x = p.pointX(r);
        const std::int32_t minutes = ch.minutes[r];
        if (minutes > 0 && minutes % kMinutesPerHour == 0) {
            canvas.line(x, lineTop, x, lineBottom, hourLine);
            chartText(canvas, x - kTimeLabelShift, labelY,
                      std::to_string(minutes / kMinutesPerHour), kTimeLabelColour);
        }
        const std::int32_t date = ch.dates[r];
        if (lastDate == 0) {
            if (date > 0) lastDate = date;
        } else if (date < lastDate) {
            // The day began at the newer neighbour's column.
            const int changeX = p.pointX(r - 1);
            canvas.line(changeX, lineTop, changeX, lineBottom, kDayChangeColour);
            chartText(canvas, changeX + kDayLabelGap, g.plotBottom - kDayLabelRise,
                      std::to_string(lastDate % kDayOfCode), kDayChangeColour);
            lastDate = date;
        }
    }
}

void paintSeries(Canvas& canvas, ChartChannel& ch, const PlotScale& p) {
    const ChannelGeometry& g = p.g;
    if (isShortScale(ch.timeScale)) {
        for (int r = 0; r <= ch.span; ++r) ch.plotPoints[r] = {p.pointX(r), p.valueY(ch.values[r])};
        canvas.polyline(ch.plotPoints.data(), ch.span + 1, kChartYellow);
        const int y0 = p.valueY(ch.values[0]);
        canvas.rectangle(g.plotRight - kMarkerLeft, y0 - kMarkerHalf, g.plotRight - kMarkerRight,
                         y0 + kMarkerHalf, kWhite, kMarkerFill);
        return;
    }
    double halfWidth = kMonthBarHalf;
    Rgb fill = kMonthBarFill;
    if (ch.timeScale == TimeScale::Day) {
        halfWidth = kDayBarHalf;
        fill = kDayBarFill;
    } else if (ch.timeScale == TimeScale::Week) {
        halfWidth = kWeekBarHalf;
        fill = kWeekBarFill;
    }
    const double h = halfWidth * ch.xStep;
    const int foot = g.plotBottom - kBarFoot;
    for (int r = 0; r <= ch.span; ++r) {
        const double centre = p.barCentre(r);
        const int head = p.valueY(ch.values[r]);
        canvas.rectangle(toPixel(centre - h), std::min(foot, head), toPixel(centre + h),
                         std::max(foot, head), kBarPen, fill);
    }
}

void paintValueTexts(Canvas& canvas, const ChartChannel& ch, const LiveReadings& live,
                     const PlotScale& p) {
    const ChannelGeometry& g = p.g;
    std::string smooth;
    switch (ch.quantity) {
        case Quantity::V1:
            smooth = format2(live.SmoothV1);
            break;
        case Quantity::V2:
            smooth = format2(live.SmoothV2);
            break;
        case Quantity::V3:
            smooth = format2(live.SmoothV3);
            break;
        case Quantity::Amp:
            smooth = format2(live.SmoothAmp) + " A";
            break;
        case Quantity::A1:
            smooth = format2(live.SmoothA1) + " A";
            break;
        case Quantity::A2:
            smooth = format2(live.SmoothA2) + " A";
            break;
        case Quantity::A3:
            smooth = format2(live.SmoothA3) + " A";
            break;
        case Quantity::Watt:
            smooth = format2(live.SmoothWatt * kKilowattsPerWatt) + " KW";
            break;
        case Quantity::W1:
            smooth = format2(live.SmoothW1 * kKilowattsPerWatt) + " KW";
            break;
        case Quantity::W2:
            smooth = format2(live.SmoothW2 * kKilowattsPerWatt) + " KW";
            break;
        case Quantity::W3:
            smooth = format2(live.SmoothW3 * kKilowattsPerWatt) + " KW";
            break;
        case Quantity::KWh:
            smooth = format2(live.KWh) + " KWh";
            break;
        default:
            break;
    }
    if (!smooth.empty())
        chartText(canvas, g.plotLeft + kSmoothTextInset, g.plotTop + 1, smooth, kChartYellow);
    if (ch.values[0] > 0)
        canvas.text(g.plotRight + kLabelGap, p.valueY(ch.values[0]) - kValueTextRise,
                    format2(ch.values[0]), kChartFont, kWhite, kBlack);
}

}  // namespace

void paintChannelPanel(Canvas& canvas, const ChartChannel& channel, const ChannelGeometry& g) {
    canvas.rectangle(g.panelLeft, g.panelTop, g.panelRight, g.panelBottom, kFrameGrey, kBlack);
    chartText(canvas, g.title.x, g.title.y, channel.title, kChartYellow);
    canvas.rectangle(g.plotLeft, g.plotTop, g.plotRight, g.plotBottom, kFrameGrey, kBlack);
}

void paintChannelPlot(Canvas& canvas, ChartChannel& ch, const LiveReadings& live,
                      const ChannelGeometry& g) {
    if (!channelShowsData(ch)) return;

    ch.span = std::clamp(ch.span, 0, ch.rowCount);
    const int seriesWidth = g.plotRight - g.plotLeft - kSeriesMargin;
    ch.xStep =
        ch.span > 0 ? static_cast<float>(seriesWidth) / static_cast<float>(ch.span) : kMaxXStep;
    ch.xStep = std::min(ch.xStep, kMaxXStep);

    float top = 0.0f;
    float bottom = 0.0f;
    for (int r = 0; r <= ch.span; ++r) {
        top = std::max(top, ch.values[r]);
        bottom = std::min(bottom, ch.values[r]);
    }
    const int seriesHeight = g.plotBottom - g.plotTop - kSeriesMargin;
    ch.yScale = top != bottom ? static_cast<float>(seriesHeight) / (top - bottom) : 0.0f;
    if (!std::isfinite(ch.yScale)) ch.yScale = 0.0f;

    const PlotScale p{g, ch.xStep, ch.yScale};
    paintGrid(canvas, p, top);
    paintAxisTexts(canvas, g, ch.quantity, top, bottom);
    paintTimeAxis(canvas, ch, p);
    paintSeries(canvas, ch, p);
    paintValueTexts(canvas, ch, live, p);
}

void paintChannelCursor(Canvas& canvas, ChartChannel& ch, const ChannelGeometry& g,
                        LanguageMode language) {
    if (!ch.cursorOn) return;
    if (language == LanguageMode::English)
        chartText(canvas, g.cursorMark.x, g.cursorMark.y, kEnglishCursorMark, kCursorColour);
    else if (language == LanguageMode::Bilingual)
        chartText(canvas, g.cursorMark.x, g.cursorMark.y, kBilingualCursorMark, kCursorColour);
    if (!channelShowsData(ch)) return;

    const PlotScale p{g, ch.xStep, ch.yScale};
    const double ages =
        (g.plotRight - ch.cursorX - kCursorIndexInset) / static_cast<double>(ch.xStep);
    ch.cursorIndex = std::clamp(toPixel(ages), 0, ch.rowCount);
    const int x = p.pointX(ch.cursorIndex);
    canvas.line(x, g.plotTop + 1, x, g.plotBottom - 1, kCursorColour);

    const float value = ch.values[ch.cursorIndex];
    const int y = p.valueY(value);
    canvas.line(g.plotLeft + kCursorLineInset, y, g.plotRight - kCursorLineInset, y, kCursorColour);
    chartText(canvas, g.plotRight + kLabelGap, y - kValueTextRise, format2(value), kCursorColour);
    canvas.rectangle(x - kCursorSquareHalf, y - kCursorSquareHalf, x + kCursorSquareHalf,
                     y + kCursorSquareHalf, kCursorColour, kBlack);

    std::string readout = std::to_string(ch.dates[ch.cursorIndex]);
    if (isShortScale(ch.timeScale)) {
        const std::int32_t minutes = ch.minutes[ch.cursorIndex];
        readout += ' ';
        readout += std::to_string(minutes / kMinutesPerHour);
        readout += ':';
        readout += std::to_string(minutes % kMinutesPerHour);
    }
    chartText(canvas, g.plotLeft + kReadoutInset, g.plotTop + kReadoutDrop, readout, kCursorColour);
}

void paintChannelNames(Canvas& canvas, int activeChannel) {
    for (int number = 1; number <= 2; ++number) {
        const ChannelGeometry& g = geometryOfChannel(number);
        chartText(canvas, g.name.x, g.name.y, g.nameText,
                  number == activeChannel ? kChartYellow : kInactiveChannelName);
    }
}

}  // namespace tev
