#include "core/chart/navigation.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/chart/channel_geometry.h"

namespace tev {

namespace {

// Fewer points stop at the lowest span; every default span is at or below it, so at a default
// span only more points work.
constexpr std::array<SpanSteps, kScaleCount> kSpanSteps = {{
    {50, 200, 50},  // Min
    {10, 50, 20},   // M5
    {5, 30, 10},    // M10
    {2, 30, 5},     // Hour
    {2, 30, 2},     // Day
    {1, 30, 1},     // Week
    {1, 30, 1},     // Month
}};

// The arrow keys use the plot's right edge U: the newest point sits at U - 6, and the column
// under the cursor counts from U - 5.
constexpr int kNewestPointInset = 6;
constexpr int kCursorColumnInset = 5;
constexpr float kPlotWidthForArrows = 665.0f;
constexpr float kRightArrowMinStep = 1.0f;

int otherChannel(int number) {
    return number == 2 ? 1 : 2;
}

void toggleCursor(ViewState& view, int number, NavigationOutcome& out) {
    ChartChannel& c = view.channel(number);
    ChartChannel& d = view.channel(otherChannel(number));
    const bool on = !c.cursorOn;
    c.cursorOn = on;
    if (view.syncChannels) d.cursorOn = on;
    out.tone(on ? kCursorOnTone : kCursorOffTone);
    out.repaint();
}

// The column that the rules below compute from a cursor position with the step k.
int columnsFromRight(int plotRight, int cursorX, float k) {
    return static_cast<int>(
        std::trunc(static_cast<double>(plotRight - cursorX - kCursorColumnInset) / k));
}

int cursorXAt(int plotRight, int index, float k) {
    return static_cast<int>(
        std::trunc(static_cast<double>(plotRight - kNewestPointInset) - index * double{k}));
}

void stepLeft(ChartChannel& c, int plotRight, NavigationOutcome& out) {
    if (c.cursorX < kCursorLeftmostX) {
        out.tone(kCursorAtEndTone);
        return;
    }
    const float k = arrowStep(c.rowCount);
    c.cursorIndex = columnsFromRight(plotRight, c.cursorX, k) + 1;
    c.cursorX = std::max(cursorXAt(plotRight, c.cursorIndex, k), kCursorLeftmostX);
}

// From index 1 this goes to -1, right of the newest point; the paint clamps it back to 0.
void stepRight(ChartChannel& c, int plotRight, NavigationOutcome& out) {
    if (c.cursorIndex == 0) {
        out.tone(kCursorAtEndTone);
        return;
    }
    const float k = std::max(arrowStep(c.rowCount), kRightArrowMinStep);
    c.cursorIndex = columnsFromRight(plotRight, c.cursorX, k) - 2;
    c.cursorX = cursorXAt(plotRight, c.cursorIndex, k);
}

template <typename Step>
NavigationOutcome stepCursor(ViewState& view, Step step) {
    NavigationOutcome out;
    for (int number = 1; number <= 2; ++number) {
        ChartChannel& c = view.channel(number);
        if (!c.cursorOn || view.activeChannel != number) continue;
        step(c, geometryOfChannel(number).plotRight, out);
        if (view.syncChannels) view.channel(otherChannel(number)).cursorX = c.cursorX;
    }
    if (view.channel(1).cursorOn || view.channel(2).cursorOn) out.repaint();
    return out;
}

// The other channel takes the span under the same scale index, whatever scale it shows.
void mirrorSpan(ViewState& view, int scale, int span) {
    ChartChannel& d = view.channel(otherChannel(view.activeChannel));
    d.spanPerScale[scale] = span;
    d.span = span;
}

}  // namespace

bool inCh1Region(int x, int y) {
    return x > kChartRegionMinX && y < kCh1RegionBelowY;
}

bool inCh2Region(int x, int y) {
    return x > kChartRegionMinX && y > kCh1RegionBelowY && y < kCh2RegionBelowY;
}

bool inLogRegion(int x, int y) {
    return x > kLogRegionMinX && y > kLogRegionMinY;
}

const SpanSteps& spanStepsOf(TimeScale scale) {
    const int index = scaleIndex(scale);
    return kSpanSteps[index >= 0 && index < kScaleCount ? index : 0];
}

float arrowStep(int rowCount) {
    const float k =
        rowCount > 0 ? kPlotWidthForArrows / static_cast<float>(rowCount) : kArrowStepLimit;
    return std::min(k, kArrowStepLimit);
}

std::vector<ToneRequest> NavigationOutcome::tones() const {
    std::vector<ToneRequest> found;
    for (const NavigationAction& a : actions)
        if (a.kind == NavigationAction::Kind::Tone) found.push_back(a.tone);
    return found;
}

int NavigationOutcome::repaints() const {
    return static_cast<int>(std::count_if(actions.begin(), actions.end(), [](const auto& a) {
        return a.kind == NavigationAction::Kind::Repaint;
    }));
}

NavigationOutcome pressChart(ViewState& view, PressButton button, bool doubleClick, int x, int y) {
    NavigationOutcome out;
    view.lastClickX = x;
    view.lastClickY = y;
    out.showClickPosition = true;

    const bool ch1 = inCh1Region(x, y);
    const bool ch2 = inCh2Region(x, y);
    if (ch1 && view.activeChannel != 1) {
        view.activeChannel = 1;
        out.tone(kCh1ActivatedTone);
        out.repaint();
        out.enableLog(false);
    }
    if (ch2 && view.activeChannel != 2) {
        view.activeChannel = 2;
        out.tone(kCh2ActivatedTone);
        out.repaint();
        out.enableLog(false);
    }
    if (inLogRegion(x, y)) {
        out.enableLog(true);
        out.tone(kLogRegionTone);
        out.repaint();
    }
    if (doubleClick && button == PressButton::Left) {
        if (ch1 && view.activeChannel == 1) toggleCursor(view, 1, out);
        if (ch2 && view.activeChannel == 2) toggleCursor(view, 2, out);
    }
    // Any button moves a shown cursor of the active channel to the pressed column.
    for (int number = 1; number <= 2; ++number) {
        ChartChannel& c = view.channel(number);
        const bool inRegion = number == 1 ? ch1 : ch2;
        if (!c.cursorOn || !inRegion || view.activeChannel != number) continue;
        c.cursorX = x;
        if (view.syncChannels) view.channel(otherChannel(number)).cursorX = x;
        out.repaint();
    }
    return out;
}

NavigationOutcome fewerPoints(ViewState& view) {
    NavigationOutcome out;
    ChartChannel& c = view.channel(view.activeChannel);
    if (!isValidScale(static_cast<int>(c.timeScale))) return out;
    const int s = scaleIndex(c.timeScale);
    const SpanSteps& steps = kSpanSteps[s];
    // The remembered span, not a clamp the last paint made.
    c.span = c.spanPerScale[s];
    if (c.span <= steps.lowest) {
        out.tone(kFewestPointsTone);
        return out;
    }
    c.span -= steps.fewer;
    if (c.span <= steps.lowest) c.span = steps.lowest;
    if (view.syncChannels) mirrorSpan(view, s, c.span);
    out.repaint();
    c.spanPerScale[s] = c.span;
    return out;
}

NavigationOutcome morePoints(ViewState& view) {
    NavigationOutcome out;
    ChartChannel& c = view.channel(view.activeChannel);
    if (!isValidScale(static_cast<int>(c.timeScale))) return out;
    const int s = scaleIndex(c.timeScale);
    c.span = c.spanPerScale[s];
    if (c.span < c.rowCount) {
        c.span = std::min(c.span + kSpanSteps[s].more, c.rowCount);
    } else {
        c.span = c.rowCount;
        out.tone(kAllRowsShownTone);
    }
    if (view.syncChannels) mirrorSpan(view, s, c.span);
    out.repaint();
    c.spanPerScale[s] = c.span;
    return out;
}

NavigationOutcome cursorLeft(ViewState& view) {
    return stepCursor(view, stepLeft);
}

NavigationOutcome cursorRight(ViewState& view) {
    return stepCursor(view, stepRight);
}

NavigationOutcome navigationKey(ViewState& view, int virtualKey) {
    switch (static_cast<NavigationKey>(virtualKey)) {
        case NavigationKey::Left:
            return cursorLeft(view);
        case NavigationKey::Right:
            return cursorRight(view);
        case NavigationKey::KeypadPlus:
            return fewerPoints(view);
        case NavigationKey::KeypadMinus:
            return morePoints(view);
    }
    return {};
}

}  // namespace tev
