#pragma once

#include <span>

#include "core/chart/canvas.h"
#include "core/chart/chart_channel.h"
#include "core/store/measurement_store.h"
#include "core/texts/event_log.h"

namespace tev {

// One magnitude band of a panel value: values from `from` upward (up to the next band) are
// written with `decimals` decimals starting at x, so that they stay right-aligned.
struct ValueBand {
    double from;
    int decimals;
    int x;
};

// Where and how a panel value is written; the band is chosen before rounding.
struct PlacedValue {
    int x;
    int decimals;
};
PlacedValue placeValue(double value, std::span<const ValueBand> bands);

// The largest phase current and lifetime energy the panel shows; larger readings are limited
// and the limited value kept in LiveReadings.
inline constexpr float kPanelCurrentLimit = 999.9f;
inline constexpr float kPanelTotalEnergyLimit = 999999.9f;

// The readings panel on the left: frame, row labels and separators for the language, units
// and the live values. Limits A1..A3 and TotalKWh in `live` first.
void paintReadingsPanel(Canvas& canvas, LiveReadings& live, LanguageMode language);

// The table counters, calendar counters and last mouse press below CH2.
void paintDiagnostics(Canvas& canvas, const MeasurementStore& store, const ViewState& view);

// The "X= …   Y= …" text of the last mouse press, also drawn at once by the press handler.
void paintClickPosition(Canvas& canvas, int x, int y);

}  // namespace tev
