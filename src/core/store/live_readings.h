#pragma once

namespace tev {

// Latest raw values of the primary meter, their smoothed copies and the energy accounts.
// All values start at 0.
struct LiveReadings {
    // Raw values of the primary meter (registry row 0), written by the meter protocol.
    float V1 = 0, V2 = 0, V3 = 0;
    float A1 = 0, A2 = 0, A3 = 0;
    float W1 = 0, W2 = 0, W3 = 0;  // Vn x An x power factor
    float Amp = 0;                 // A1 + A2 + A3
    float Watt = 0;                // W1 + W2 + W3
    float KWh = 0;                 // the meter's own energy count for its current day

    // Exponentially smoothed copies, updated every tick by the roll-up.
    float SmoothV1 = 0, SmoothV2 = 0, SmoothV3 = 0;
    float SmoothAmp = 0;
    float SmoothA1 = 0, SmoothA2 = 0, SmoothA3 = 0;
    float SmoothWatt = 0;
    float SmoothW1 = 0, SmoothW2 = 0, SmoothW3 = 0;

    // Energy integrated by the application, kWh.
    float K1 = 0, K2 = 0, K3 = 0;  // per phase, current day
    float WeekKWh = 0, WeekK1 = 0, WeekK2 = 0, WeekK3 = 0;
    float MonthKWh = 0, MonthK1 = 0, MonthK2 = 0, MonthK3 = 0;
    float TotalKWh = 0;  // lifetime

    // Day figures derived from the day energy.
    float AvgAmpKWh = 0, AvgAmpK1 = 0, AvgAmpK2 = 0, AvgAmpK3 = 0;
    float AvgWattKWh = 0, AvgWattK1 = 0, AvgWattK2 = 0, AvgWattK3 = 0;
};

// W = V x A x this factor for every phase.
inline constexpr float kPowerFactor = 0.86f;

}  // namespace tev
