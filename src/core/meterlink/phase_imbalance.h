#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace tev {

// The imbalance of a three-phase reading (currents or voltages): the largest deviation of one
// phase from the three phases' mean, in % of that mean (the NEMA unbalance). A dead phase
// beside two equal ones reads 100 %. Nothing while the mean is not above `floor` (the alerts'
// imbalance_min_amps for currents: too little flows to judge) or is not a number, and never
// for a mean of 0 or less. The alert, the dashboard's phases view and the weekly voltage
// quality report all take their figure from here.
inline std::optional<double> phaseImbalancePercent(const std::array<double, 3>& phases,
                                                   double floor = 0) {
    const double mean = (phases[0] + phases[1] + phases[2]) / 3;
    if (!std::isfinite(mean) || !(mean > 0) || !(mean > floor)) return std::nullopt;
    double deviation = 0;
    for (const double v : phases) deviation = std::max(deviation, std::abs(v - mean));
    return 100 * deviation / mean;
}

}  // namespace tev
