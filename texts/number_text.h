#pragma once

#include <cstdint>
#include <string>

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

// (year % 2000) x 10000 + month x 100 + day: 2 August 2024 gives 240802.
constexpr std::int32_t dateCode(int year, int month, int day) {
    return (year % 2000) * 10000 + month * 100 + day;
}
constexpr std::int32_t dateCode(const DateTime& t) {
    return dateCode(t.year, t.month, t.day);
}

// (year % 2000) x 100 + month, the code of a Month row.
constexpr std::int32_t monthCode(int year, int month) {
    return (year % 2000) * 100 + month;
}

// The event-log stamp: date code, blank, hour ":" minute, no leading zeros ("240802 8:5").
std::string logStamp(const DateTime& t);

// The start-up and connect stamp: "2024/8/2 8:5".
std::string startupStamp(const DateTime& t);

}  // namespace tev
