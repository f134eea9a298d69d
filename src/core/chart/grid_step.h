#pragma once

namespace tev {

// The horizontal grid of a plot: the distance between lines in value units and how the
// labels are written. No grid at all when `step` is 0.
struct GridStep {
    double step = 0;
    int decimals = 2;     // labels as "0.0" (1) or "0.00" (2)
    bool tenths = false;  // the finest row counts in integer tenths so that 0.2 steps do not drift
};

// The grid that suits a plot whose largest value is `top` (top >= 0).
GridStep gridStepFor(float top);

}  // namespace tev
