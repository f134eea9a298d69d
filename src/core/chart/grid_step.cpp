#include "core/chart/grid_step.h"

namespace tev {

namespace {

struct GridBand {
    float above;  // the band holds tops above this value, up to the previous band's bound
    GridStep grid;
};

// From the largest tops down. The bands between 600 and 650 and above 2000 have no grid.
constexpr GridBand kGridBands[] = {
    {2000.0f, {0, 1, false}}, {650.0f, {100, 1, false}}, {600.0f, {0, 1, false}},
    {360.0f, {50, 1, false}}, {120.0f, {20, 2, false}},  {60.0f, {10, 2, false}},
    {12.0f, {5, 2, false}},   {6.0f, {2, 2, false}},     {2.0f, {1, 2, false}},
};

constexpr GridStep kFinestGrid{0.2, 2, true};

}  // namespace

GridStep gridStepFor(float top) {
    for (const GridBand& band : kGridBands)
        if (top > band.above) return band.grid;
    return kFinestGrid;
}

}  // namespace tev
