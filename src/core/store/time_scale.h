#pragma once

namespace tev {

// The seven time scales, numbered as they are stored in the settings file and the chart
// channels; 0 means that none is chosen yet.
enum class TimeScale : int {
    None = 0,
    Min = 1,
    M5 = 2,
    M10 = 3,
    Hour = 4,
    Day = 5,
    Week = 6,
    Month = 7
};

inline constexpr int kScaleCount = 7;

// Index 0..6 of a scale in per-scale arrays (Min = 0 … Month = 6).
constexpr int scaleIndex(TimeScale s) {
    return static_cast<int>(s) - 1;
}
constexpr TimeScale scaleAt(int index) {
    return static_cast<TimeScale>(index + 1);
}
constexpr bool isValidScale(int number) {
    return number >= 1 && number <= kScaleCount;
}

// What a chart channel shows; quantity n is column n - 1 of every table.
enum class Quantity : int {
    None = 0,
    V1,
    V2,
    V3,
    Amp,
    A1,
    A2,
    A3,
    Watt,
    W1,
    W2,
    W3,
    KWh,
    K1,
    K2,
    K3
};

inline constexpr int kQuantityCount = 15;

constexpr int quantityColumn(Quantity q) {
    return static_cast<int>(q) - 1;
}

}  // namespace tev
