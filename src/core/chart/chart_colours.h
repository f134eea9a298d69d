#pragma once

#include "core/chart/canvas.h"

namespace tev {

// The colours of the main window's drawing: charts, readings panel and diagnostic texts.
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kWindowColour{46, 46, 46};
inline constexpr Rgb kFrameGrey{128, 128, 128};
inline constexpr Rgb kChartYellow{255, 255, 0};
inline constexpr Rgb kGridLineColour{68, 68, 68};
inline constexpr Rgb kGridLabelColour{128, 128, 0};
inline constexpr Rgb kShortScaleHourLine{0, 102, 153};
inline constexpr Rgb kHourAndPointLine{51, 51, 51};
inline constexpr Rgb kTimeLabelColour{128, 128, 128};
inline constexpr Rgb kDayChangeColour{204, 102, 153};
inline constexpr Rgb kMarkerFill{0, 102, 153};
inline constexpr Rgb kBarPen{128, 128, 0};
inline constexpr Rgb kDayBarFill{0, 102, 153};
inline constexpr Rgb kWeekBarFill{153, 102, 153};
inline constexpr Rgb kMonthBarFill{102, 204, 153};
inline constexpr Rgb kCursorColour{0, 255, 255};
inline constexpr Rgb kInactiveChannelName{128, 128, 128};
inline constexpr Rgb kPanelLabelSilver{192, 192, 192};

}  // namespace tev
