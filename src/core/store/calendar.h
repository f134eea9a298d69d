#pragma once

#include <cstdint>

namespace tev {

// The clock as last read and the counters that decide when a table starts a new row.
struct Calendar {
    std::int32_t Year = 0, Month = 0, Day = 0;
    std::int32_t Hour = 0, Minute = 0, Second = 0;
    std::int32_t TodayCode = 0;      // (Year % 2000) x 10000 + Month x 100 + Day
    std::int32_t StartDayCode = 0;   // TodayCode of the day the application started
    std::int32_t WeekDay = 0;        // 0 = Sunday … 6 = Saturday
    std::int32_t WeekDayCnt = 0;     // day changes seen since the current Week row began
    std::int32_t WeekStartCode = 0;  // TodayCode of the day the current Week row began
    std::int32_t NowMonth = 0;       // month of the current Month row
    std::int32_t DataFlag = 0;       // 1 once the primary meter has delivered data
    std::int32_t SilenceCount = 0;   // seconds since the last poll of a registered meter
};

}  // namespace tev
