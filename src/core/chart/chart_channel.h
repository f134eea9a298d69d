#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/chart/canvas.h"
#include "core/store/time_scale.h"

namespace tev {

inline constexpr int kDisplayBufferSize = 10100;

// Default span of each time scale (Min … Month), used wherever a remembered span is 0.
inline constexpr std::array<int, kScaleCount> kDefaultSpan = {100, 50, 20, 10, 10, 10, 10};

// The view state of one chart channel.
struct ChartChannel {
    Quantity quantity = Quantity::None;
    std::string title;  // UTF-8
    TimeScale timeScale = TimeScale::Hour;
    int span = 10;
    std::array<int, kScaleCount> spanPerScale = kDefaultSpan;
    // A value the settings file keeps beside the channel's time scale; nothing else uses it.
    std::int32_t reservedSetting = 0;
    int rowCount = 0;  // cnt of the shown table at the last paint that had a quantity
    bool cursorOn = false;
    int cursorX = 0;
    int cursorIndex = 0;  // age index (0 = newest) of the point under the cursor
    float xStep = 30.0f;
    float yScale = 0.0f;
    // Copy of the shown column and of its rows' time and date, newest first.
    std::array<float, kDisplayBufferSize> values{};
    std::array<std::int32_t, kDisplayBufferSize> minutes{};
    std::array<std::int32_t, kDisplayBufferSize> dates{};
    // The series polyline of the last paint, kept here so that a paint allocates nothing.
    std::array<Point, kDisplayBufferSize> plotPoints{};
};

// View state of the main window that both channels share.
struct ViewState {
    std::array<ChartChannel, 2> channels;  // CH1, CH2
    int activeChannel = 1;                 // 1 = CH1, 2 = CH2
    bool syncChannels = false;
    int lastClickX = 0;
    int lastClickY = 0;
    int windowLeft = 0;  // screen position copied at every paint, kept by the settings file
    int windowTop = 0;

    ChartChannel& channel(int number) { return channels[number == 2 ? 1 : 0]; }
    const ChartChannel& channel(int number) const { return channels[number == 2 ? 1 : 0]; }
};

}  // namespace tev
