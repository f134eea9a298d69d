#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tev::archive {

// One ten-minute row taken from a meter's day file: the slot's start, the meter's day energy
// at its end, and the energy used in it.
struct TenMinuteRow {
    std::int64_t start = 0;
    double dayEnergy = 0;
    double energy = 0;
};

// The rows of one day line "date,previous,slot0,…,slot143," — slots with no message (zero)
// give no row. A line that is not a day line gives none.
std::vector<TenMinuteRow> tenMinuteRowsOfDayLine(std::string_view line);

// Every day line of a day file's contents (lines end in a carriage return, a line feed or
// both).
std::vector<TenMinuteRow> tenMinuteRowsOfDayFile(std::string_view contents);

}  // namespace tev::archive
