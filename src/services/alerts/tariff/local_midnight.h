#pragma once

#include <ctime>

namespace tev::alerts {

// Local midnight at the start of the day of `t`.
std::time_t localMidnight(std::time_t t);
// Local midnight `days` after the day of `t` (0: its own midnight), or with `months` the first
// of the month that many months on.
std::time_t localMidnightAfter(std::time_t t, int days, int months = 0);

}  // namespace tev::alerts
