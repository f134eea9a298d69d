#pragma once

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

// Where the program reads the time of day and the date. The real one is the system clock;
// tests set it to any moment.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual DateTime now() const = 0;
};

}  // namespace tev
