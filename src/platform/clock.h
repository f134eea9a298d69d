#pragma once

#include <chrono>
#include <cstdint>

namespace tev {

// A wall-clock reading: local date and time.
struct DateTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
    int millisecond = 0;
};

// Day of the week of a Gregorian date, 0 = Sunday … 6 = Saturday.
constexpr int weekDayOf(int year, int month, int day) {
    // Sakamoto's method.
    constexpr int offsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + offsets[(month + 11) % 12] + day) % 7;
}

// Where the program reads the time: the local date and time of day (the window, the roll-up),
// the wall clock (stamps in Unix time) and a steady clock (timeouts, rates, intervals). The
// real one is the system clock; tests set it to any moment. Every reading is safe from any
// thread: the archive writer and the fleet shipper read it on threads of their own.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual DateTime now() const = 0;
    virtual std::chrono::system_clock::time_point wallNow() const = 0;
    virtual std::chrono::steady_clock::time_point steadyNow() const = 0;
};

// The readings as the plain integers the rules take.
inline std::int64_t unixSecondsOf(const Clock& clock) {
    return std::chrono::duration_cast<std::chrono::seconds>(clock.wallNow().time_since_epoch())
        .count();
}
inline std::int64_t unixMsOf(const Clock& clock) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock.wallNow().time_since_epoch())
        .count();
}
inline std::int64_t steadyMsOf(const Clock& clock) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               clock.steadyNow().time_since_epoch())
        .count();
}

}  // namespace tev
