#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "core/store/scale_table.h"

namespace tev::web {

// The moment a table row stands for, in Unix seconds, read from its date cell (YYMMDD) and,
// on the four finer scales, its time cell (minutes of the day) as local time.
//
// The 5-minute, 10-minute and hour rows carry the minute at which they closed, and the row
// that closes a day is written before the new date is read: it carries the old date with the
// time 0:0. Such a closed row (not the live row) stands for midnight at the end of its date,
// so the series stays in order across the day boundary. A minute row carries its own minute,
// and a Day or Week row stands for midnight at the start of its date; a Month row's date cell
// is YYMM and stands for midnight of the first of its month.
// A row whose date cell is no real date has no time.
//
// Where the clocks go back, an hour of local times is read twice: the roll-up then writes two
// rows with the same date and time (the hour row closed at the first 02:00 and the one closed at
// the second, say). Rows are written in order, so such a time is the first of its readings that
// is not before the row before it, and for a closed row not at the same instant either. Local
// times the clocks skip read as though they had not gone forward yet.
class RowClock {
  public:
    // Rows must be asked in order, oldest first: each is placed after the row asked before it.
    std::optional<std::int64_t> at(const ScaleTable& table, int row);

  private:
    // A local-time conversion costs about a microsecond, so the zone's offsets around an hour of
    // rows are read once and the minutes added; only an hour near a change reads each row.
    std::int64_t key_ = -1;
    std::optional<std::int64_t> hourWall_;
    std::pair<long, long> hourOffsets_;
    int previousRow_ = -1;
    std::optional<std::int64_t> previous_;
};

// One row's moment as RowClock gives it, reading the rows before it as far back as the hour
// that repeats needs.
std::optional<std::int64_t> rowUnixTime(const ScaleTable& table, int row);

// Local midnight plus `minutes` of the date code YYMMDD, in Unix seconds: in the hour that
// repeats, its first reading; in the hour skipped, as on the clocks before the change.
std::optional<std::int64_t> localUnixTime(std::int32_t dateCode, std::int32_t minutes);

// "2026-12-08T14:05:00+01:00": local time with its UTC offset.
std::string isoLocalTime(std::int64_t unixSeconds);

}  // namespace tev::web
