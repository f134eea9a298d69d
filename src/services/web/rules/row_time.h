#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
std::optional<std::int64_t> rowUnixTime(const ScaleTable& table, int row);

// rowUnixTime for rows read in order: a local-time conversion costs about a microsecond, so the
// start of each hour is converted once and the minutes added to it. Summer-time changes fall on
// whole hours, so this gives the same as converting every row.
class RowClock {
  public:
    std::optional<std::int64_t> at(const ScaleTable& table, int row);

  private:
    std::int64_t key_ = -1;
    std::optional<std::int64_t> hourStart_;
};

// Local midnight plus `minutes` of the date code YYMMDD, in Unix seconds.
std::optional<std::int64_t> localUnixTime(std::int32_t dateCode, std::int32_t minutes);

// "2026-12-08T14:05:00+01:00": local time with its UTC offset.
std::string isoLocalTime(std::int64_t unixSeconds);

}  // namespace tev::web
