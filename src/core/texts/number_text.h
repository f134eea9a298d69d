#pragma once

#include <cstdint>
#include <string>

#include "core/store/date_code.h"
#include "platform/clock.h"

namespace tev {

// Fixed-point text as the picture formats "0", "0.0" and "0.00" give it: rounded to the given
// number of decimals, full stop as separator, leading minus, no thousands separator
// (9.999 with two decimals gives "10.00").
std::string formatFixed(double value, int decimals);

inline std::string format0(double v) {
    return formatFixed(v, 0);
}
inline std::string format1(double v) {
    return formatFixed(v, 1);
}
inline std::string format2(double v) {
    return formatFixed(v, 2);
}

// The event-log stamp: date code, blank, hour ":" minute, no leading zeros ("240802 8:5").
std::string logStamp(const DateTime& t);

// The start-up and connect stamp: "2024/8/2 8:5".
std::string startupStamp(const DateTime& t);

}  // namespace tev
