#pragma once

#include "platform/clock.h"

namespace tev::testing {

// A clock that says whatever the test sets, and moves only when told.
class FakeClock final : public Clock {
public:
    FakeClock() = default;
    explicit FakeClock(DateTime t) : now_(t) {}
    DateTime now() const override { return now_; }
    void set(DateTime t) { now_ = t; }
    void set(int y, int mo, int d, int h, int mi, int s) { now_ = DateTime{y, mo, d, h, mi, s, 0}; }
    // Moves the clock forward by whole seconds across minute, hour, day, month and year ends.
    void advanceSeconds(int seconds);

private:
    DateTime now_;
};

inline int daysInMonth(int year, int month) {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

inline void FakeClock::advanceSeconds(int seconds) {
    for (int i = 0; i < seconds; ++i) {
        if (++now_.second < 60) continue;
        now_.second = 0;
        if (++now_.minute < 60) continue;
        now_.minute = 0;
        if (++now_.hour < 24) continue;
        now_.hour = 0;
        if (++now_.day <= daysInMonth(now_.year, now_.month)) continue;
        now_.day = 1;
        if (++now_.month <= 12) continue;
        now_.month = 1;
        ++now_.year;
    }
}

}  // namespace tev::testing
