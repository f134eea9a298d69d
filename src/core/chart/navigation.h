#pragma once

#include <optional>
#include <vector>

#include "core/chart/chart_channel.h"
#include "core/chart/selection.h"
#include "core/store/time_scale.h"

namespace tev {

// Chart navigation: presses select the active channel and place the read-out cursor, a left
// double-click switches the cursor, the wheel and the keypad plus and minus change how many
// points the active channel shows, and the arrow keys step the cursor. Every function changes
// the view state and returns what the window must do, in order.

inline constexpr ToneRequest kCh1ActivatedTone{1600, 150};
inline constexpr ToneRequest kCh2ActivatedTone{1700, 150};
inline constexpr ToneRequest kLogRegionTone{1700, 150};
inline constexpr ToneRequest kCursorOnTone{1700, 150};
inline constexpr ToneRequest kCursorOffTone{1500, 150};
inline constexpr ToneRequest kFewestPointsTone{1700, 200};
inline constexpr ToneRequest kAllRowsShownTone{1500, 200};
inline constexpr ToneRequest kCursorAtEndTone{1500, 200};

// Screen regions of the presses (client pixels).
inline constexpr int kChartRegionMinX = 250;  // exclusive
inline constexpr int kCh1RegionBelowY = 270;
inline constexpr int kCh2RegionBelowY = 600;
inline constexpr int kLogRegionMinX = 486;  // exclusive
inline constexpr int kLogRegionMinY = 605;  // exclusive

bool inCh1Region(int x, int y);
bool inCh2Region(int x, int y);
bool inLogRegion(int x, int y);

// How the span of a time scale is stepped by the wheel and the keypad keys.
struct SpanSteps {
    int fewer;   // subtracted for fewer points
    int lowest;  // fewer points stop here
    int more;    // added for more points
};
const SpanSteps& spanStepsOf(TimeScale scale);

// The cursor's left bound and the pixel maths of the arrow keys.
inline constexpr int kCursorLeftmostX = 260;
inline constexpr float kArrowStepLimit = 20.0f;

// One thing the window does after a navigation event; tones and repaint requests keep the
// order in which the rules ask for them.
struct NavigationAction {
    enum class Kind { Tone, Repaint, EnableLog, DisableLog };
    Kind kind;
    ToneRequest tone{};
    bool operator==(const NavigationAction&) const = default;
};

struct NavigationOutcome {
    std::vector<NavigationAction> actions;
    // The press position text is to be shown at once.
    bool showClickPosition = false;

    void tone(ToneRequest t) { actions.push_back({NavigationAction::Kind::Tone, t}); }
    void repaint() { actions.push_back({NavigationAction::Kind::Repaint, {}}); }
    void enableLog(bool on) {
        actions.push_back(
            {on ? NavigationAction::Kind::EnableLog : NavigationAction::Kind::DisableLog, {}});
    }
    std::vector<ToneRequest> tones() const;
    int repaints() const;
};

enum class PressButton { Left, Right, Middle, Other };

// A mouse press (a double-click arrives as a press with `doubleClick`) at client (x, y).
NavigationOutcome pressChart(ViewState& view, PressButton button, bool doubleClick, int x, int y);

// Wheel away from the user or keypad plus: the active channel shows fewer points.
NavigationOutcome fewerPoints(ViewState& view);
// Wheel toward the user or keypad minus: the active channel shows more points.
NavigationOutcome morePoints(ViewState& view);

// The arrow keys step the cursor of the active channel, if it is shown.
NavigationOutcome cursorLeft(ViewState& view);
NavigationOutcome cursorRight(ViewState& view);

// The keys the window reacts to, by their virtual key codes.
enum class NavigationKey : int { Left = 37, Right = 39, KeypadPlus = 107, KeypadMinus = 109 };

// Any other code changes nothing.
NavigationOutcome navigationKey(ViewState& view, int virtualKey);

// The pixel step of the arrow keys for a table of `rowCount` rows (at most 20).
float arrowStep(int rowCount);

}  // namespace tev
