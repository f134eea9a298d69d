#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/clock.h"

namespace tev::testing {

inline int daysInMonth(int year, int month) {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// A clock that says whatever the test sets, and moves only when told. Its local date and time,
// its wall clock and its steady clock are set apart and move together; reads and moves are safe
// from any thread (a service's own thread reads while the test moves it).
class FakeClock final : public Clock {
  public:
    FakeClock() = default;
    explicit FakeClock(DateTime t) : local_(t) {}

    DateTime now() const override {
        std::lock_guard lock(mutex_);
        return local_;
    }
    std::chrono::system_clock::time_point wallNow() const override {
        std::lock_guard lock(mutex_);
        return wall_;
    }
    std::chrono::steady_clock::time_point steadyNow() const override {
        std::lock_guard lock(mutex_);
        return steady_;
    }

    // The local date and time; the wall and steady clocks stay.
    void set(DateTime t) {
        std::lock_guard lock(mutex_);
        local_ = t;
    }
    void set(int y, int mo, int d, int h, int mi, int s) { set(DateTime{y, mo, d, h, mi, s, 0}); }
    // The wall clock, in Unix seconds or milliseconds; the local time and the steady clock stay.
    void setUnixSeconds(std::int64_t seconds) { setUnixMs(seconds * 1000); }
    void setUnixMs(std::int64_t ms) {
        std::lock_guard lock(mutex_);
        wall_ = std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
    }
    // The steady clock, in milliseconds since its start.
    void setSteadyMs(std::int64_t ms) {
        std::lock_guard lock(mutex_);
        steady_ = std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms));
    }

    // Moves all three forward; the local time across minute, hour, day, month and year ends.
    void advance(std::chrono::milliseconds by) {
        std::lock_guard lock(mutex_);
        wall_ += by;
        steady_ += by;
        const std::int64_t ms = local_.millisecond + by.count();
        local_.millisecond = static_cast<int>(ms % 1000);
        for (std::int64_t i = 0; i < ms / 1000; ++i) nextSecond();
    }
    void advanceSeconds(int seconds) { advance(std::chrono::seconds(seconds)); }

  private:
    void nextSecond() {
        if (++local_.second < 60) return;
        local_.second = 0;
        if (++local_.minute < 60) return;
        local_.minute = 0;
        if (++local_.hour < 24) return;
        local_.hour = 0;
        if (++local_.day <= daysInMonth(local_.year, local_.month)) return;
        local_.day = 1;
        if (++local_.month <= 12) return;
        local_.month = 1;
        ++local_.year;
    }

    mutable std::mutex mutex_;
    DateTime local_;
    std::chrono::system_clock::time_point wall_{};
    std::chrono::steady_clock::time_point steady_{};
};

}  // namespace tev::testing
