#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tev::archive {

// The local date and time of a moment, in the computer's time zone.
std::tm localParts(std::int64_t unixSeconds);

// Period starts in the computer's local time zone, as Unix seconds.
std::int64_t minuteStart(std::int64_t unixSeconds);
std::int64_t localHourStart(std::int64_t unixSeconds);
std::int64_t localDayStart(std::int64_t unixSeconds);
// Unix seconds of a local date and time.
std::int64_t localUnixSeconds(int year, int month, int day, int hour, int minute, int second);
// Local midnight of a meter date YYMMDD (20YY), or nothing for an impossible date.
std::optional<std::int64_t> localMidnightOfMeterDate(std::int32_t meterDate);

// "2026-12-08T10:00:00+01:00": local time with its offset.
std::string isoLocal(std::int64_t unixSeconds);

// "2026-12-08", "2026-12-08T10:00", "2026-12-08T10:00:00", each optionally followed by "Z" or
// "+01:00"; without an offset the time is local. Nothing when the text is not such a time.
std::optional<std::int64_t> parseIsoTime(std::string_view text);

}  // namespace tev::archive
