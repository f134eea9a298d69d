#include "services/archive/rules/period_stats.h"

#include <algorithm>

namespace tev::archive {
namespace {

// W = V x A x this factor, in single precision as the live readings have it.
constexpr float kPowerFactor = 0.86f;

double weighted(double a, std::int64_t na, double b, std::int64_t nb) {
    return (a * static_cast<double>(na) + b * static_cast<double>(nb)) /
           static_cast<double>(na + nb);
}

}  // namespace

float phasePower(float volts, float amps) {
    return volts * amps * kPowerFactor;
}

double energyBetween(double previousDayEnergy, double dayEnergy) {
    if (dayEnergy >= previousDayEnergy) return dayEnergy - previousDayEnergy;
    return dayEnergy;
}

void PeriodStats::add(const ArchiveSample& sample, double energyIncrement) {
    PeriodStats one;
    one.count = 1;
    for (int p = 0; p < 3; ++p) {
        one.mean[p] = one.min[p] = one.max[p] = sample.volts[p];
        one.mean[3 + p] = one.min[3 + p] = one.max[3 + p] = sample.amps[p];
    }
    const float w1 = phasePower(sample.volts[0], sample.amps[0]);
    const float w2 = phasePower(sample.volts[1], sample.amps[1]);
    const float w3 = phasePower(sample.volts[2], sample.amps[2]);
    one.powerMean = {w1, w2, w3, w1 + w2 + w3};
    one.dayEnergy = sample.dayEnergy;
    one.energy = energyIncrement;
    merge(one);
}

void PeriodStats::merge(const PeriodStats& later) {
    if (later.count == 0) return;
    if (count == 0) {
        *this = later;
        return;
    }
    for (int i = 0; i < kRangedCount; ++i) {
        mean[i] = weighted(mean[i], count, later.mean[i], later.count);
        min[i] = std::min(min[i], later.min[i]);
        max[i] = std::max(max[i], later.max[i]);
    }
    for (int i = 0; i < kPowerCount; ++i)
        powerMean[i] = weighted(powerMean[i], count, later.powerMean[i], later.count);
    dayEnergy = later.dayEnergy;
    energy += later.energy;
    count += later.count;
}

}  // namespace tev::archive
