#pragma once

#include <array>
#include <string_view>

#include "core/chart/canvas.h"

namespace tev {

// Where one chart channel sits in the window. plotLeft, plotTop, plotRight and plotBottom
// are the edges of the plot area that the series fills.
struct ChannelGeometry {
    int panelLeft, panelTop, panelRight, panelBottom;
    Point title;
    int plotLeft, plotTop, plotRight, plotBottom;
    Point cursorMark;
    Point name;
    std::string_view nameText;
};

inline constexpr std::array<ChannelGeometry, 2> kChannelGeometry = {{
    {255, 28, 980, 275, {260, 32}, 260, 50, 935, 255, {780, 32}, {260, 256}, "CH1"},
    {255, 280, 980, 600, {260, 284}, 260, 302, 935, 580, {780, 284}, {260, 581}, "CH2"},
}};

// Geometry of channel 1 (CH1) or 2 (CH2).
constexpr const ChannelGeometry& geometryOfChannel(int number) {
    return kChannelGeometry[number == 2 ? 1 : 0];
}

// Chart texts are Arial 10.
inline constexpr FontSpec kChartFont{"Arial", 10, false};

}  // namespace tev
