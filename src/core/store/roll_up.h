#pragma once

#include "core/store/measurement_store.h"
#include "platform/clock.h"

namespace tev {

// Smoothing: new = (old x 19 + raw) x 0.05.
inline constexpr float kSmoothOldWeight = 19.0f;
inline constexpr float kSmoothScale = 0.05f;
// Energy of one one-second tick in kWh per watt.
inline constexpr float kTickEnergyFactor = static_cast<float>(1.0 / 3606000.0);
inline constexpr float kDayCurrentFactor = static_cast<float>(1.0 / 5.28);
inline constexpr float kDayPowerFactor = 41.66f;
inline constexpr float kWeekCurrentFactor = 0.649f;
inline constexpr float kWeekPowerFactor = static_cast<float>(1.0 / 7.0);
inline constexpr float kMonthCurrentFactor = 0.1515f;
inline constexpr float kMonthPowerFactor = 33.33f;

// What a roll-up step did that the window shows.
struct RollUpOutcome {
    bool minuteClosed = false;  // second 0: the time label is refreshed
    bool dateRead = false;      // whole hour: the date was read, the date label is refreshed
};

// Reads the date into the calendar: Year, Month, Day, WeekDay and TodayCode.
void readDate(Calendar& calendar, const DateTime& now);

// One roll-up step at the given time of day. The date is read from `dateSource` only at a
// whole hour. Does nothing (and returns no outcome) while DataFlag is 0.
RollUpOutcome rollUpAt(MeasurementStore& store, int hour, int minute, int second,
                       const Clock& dateSource);

// One roll-up step at the clock's current time.
RollUpOutcome rollUpStep(MeasurementStore& store, const Clock& clock);

}  // namespace tev
