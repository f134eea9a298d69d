#pragma once

#include <cstdint>
#include <string>

namespace tev {

// Appends `value` as the picture formats "0", "0.0" and "0.00" write it (decimals 0..2), the
// same text as formatFixed() gives, without going through printf for the ordinary range:
// exports and grids format tens of thousands of cells at a time.
void appendFixed(std::string& out, double value, int decimals);

void appendInteger(std::string& out, std::int64_t value);

// Minutes since midnight as hours ":" minutes without leading zeros (65 gives "1:5").
void appendTimeOfDay(std::string& out, std::int32_t minutes);

}  // namespace tev
