#pragma once

#include <ctime>

#include "services/alerts/tariff/tariff.h"

namespace tev {

// Today's cost of the primary meter's energy, followed as the day's kWh grow: each new share
// is priced at the time it was used, so a band edge during the day is honoured. What the day
// held before the first update is spread evenly since local midnight. The standing charge of
// the day is included.
class CostToday {
  public:
    explicit CostToday(const Tariff& tariff) : tariff_(tariff) {}

    // `todayKwh`: the day's energy so far; a drop (a new day's count) starts again from it.
    void update(double todayKwh, std::time_t now);
    double cost() const { return energy_ + standing_; }
    double energyCost() const { return energy_; }

  private:
    const Tariff& tariff_;
    bool started_ = false;
    int date_ = 0;
    double kwh_ = 0;
    std::time_t last_ = 0;
    double energy_ = 0;
    double standing_ = 0;
};

// Local midnight at the start of the day of `t`.
std::time_t localMidnight(std::time_t t);
// Local midnight `days` after the day of `t` (0: its own midnight), or with `months` the first
// of the month that many months on.
std::time_t localMidnightAfter(std::time_t t, int days, int months = 0);

}  // namespace tev
