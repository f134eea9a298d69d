#pragma once

#include <array>
#include <cstdint>

#include "services/archive/rules/archive_sample.h"

namespace tev::archive {

// V1–V3 and A1–A3 keep mean, minimum and maximum; W1–W3 and Watt their mean.
inline constexpr int kRangedCount = 6;
inline constexpr int kPowerCount = 4;

// The figures of one period (minute, hour or day) of one meter. Two stats of the same period
// merge into the stats of all their messages, so a period can be written in parts.
struct PeriodStats {
    std::int64_t count = 0;
    std::array<double, kRangedCount> mean{}, min{}, max{};
    std::array<double, kPowerCount> powerMean{};
    double dayEnergy = 0;  // the meter's day energy after the period's last message
    double energy = 0;     // kWh used in the period

    // One message; `energyIncrement` is the energy since the meter's previous message.
    void add(const ArchiveSample& sample, double energyIncrement);
    // `later` holds messages that came after this one's.
    void merge(const PeriodStats& later);
};

// The power of one phase as the program computes it from voltage and current.
float phasePower(float volts, float amps);

// The energy used between two readings of a meter's day energy; the day energy starts again
// from zero at the meter's midnight, so a drop means the new value is all of the new day's.
double energyBetween(double previousDayEnergy, double dayEnergy);

}  // namespace tev::archive
