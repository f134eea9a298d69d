#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tev::testing {

// Builds ten-minute CSV text by its layout: a header of "Date" and the 144 slot times, then
// one line per day, "YYMMDD," and each value followed by a comma, CR LF at every line end.

inline std::string tenMinuteHeader(bool trailingComma) {
    std::string h = "Date";
    for (int minute = 0; minute < 1440; minute += 10)
        h += "," + std::to_string(minute / 60) + ":" + std::to_string(minute % 60);
    if (trailingComma) h += ",";
    return h + "\r\n";
}

// Value k (from 1) of a day: "<day>.<k, three digits>", e.g. "3.007"; long enough that a
// day line passes the 721-character test.
inline std::string slotValue(int day, int k) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%03d", day, k);
    return buf;
}

inline std::vector<std::string> dayValues(int day, int count = 144) {
    std::vector<std::string> v;
    for (int k = 1; k <= count; ++k) v.push_back(slotValue(day, k));
    return v;
}

inline std::string dayLine(int date, const std::vector<std::string>& values,
                           bool commaAfterLast = true) {
    std::string line = std::to_string(date) + ",";
    for (std::size_t i = 0; i < values.size(); ++i) {
        line += values[i];
        if (i + 1 < values.size() || commaAfterLast) line += ",";
    }
    return line + "\r\n";
}

}  // namespace tev::testing
