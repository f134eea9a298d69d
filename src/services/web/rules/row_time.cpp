#include "services/web/rules/row_time.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

#include "core/recordsio/record_columns.h"

namespace tev::web {
namespace {

constexpr int kMinutesPerDay = 24 * 60;

bool realDate(int year, int month, int day) {
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    if (day > kDays[month - 1]) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;

long utcOffsetAt(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return tm.tm_gmtoff;
}

// Local midnight plus `minutes` of the date code read as though it were UTC, or nothing for a
// cell that is no date.
std::optional<std::int64_t> wallSeconds(std::int32_t dateCode, std::int32_t minutes) {
    if (dateCode <= 0 || dateCode > 991231 || minutes < 0 || minutes > kMinutesPerDay)
        return std::nullopt;
    const int year = 2000 + dateCode / 10000;
    const int month = dateCode / 100 % 100;
    const int day = dateCode % 100;
    if (!realDate(year, month, day)) return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    // Minutes past 24:00 and the end of a month are carried into the next day.
    tm.tm_min = minutes;
    return static_cast<std::int64_t>(timegm(&tm));
}

// The zone's UTC offsets a day before and a day after the instants that read the wall times
// from `wall` to `wall + span` (at most 14 hours away from them): the same offset when the clocks
// do not change around them.
std::pair<long, long> offsetsAround(std::int64_t wall, std::int64_t span) {
    return {utcOffsetAt(wall - kSecondsPerDay), utcOffsetAt(wall + span + kSecondsPerDay)};
}

// The instants at which local time reads a wall time: two apart only in the hour that repeats
// when the clocks go back.
struct LocalInstants {
    std::int64_t earlier = 0;
    std::int64_t later = 0;
};

LocalInstants instantsOfWall(std::int64_t wall, long before, long after) {
    if (before == after) return {wall - before, wall - before};
    const std::int64_t byBefore = wall - before;
    const std::int64_t byAfter = wall - after;
    const bool beforeReads = utcOffsetAt(byBefore) == before;
    const bool afterReads = utcOffsetAt(byAfter) == after;
    if (beforeReads && afterReads)
        return {std::min(byBefore, byAfter), std::max(byBefore, byAfter)};
    if (afterReads) return {byAfter, byAfter};
    // Read with the offset before the change: in the skipped hour that is the instant the
    // clocks moved that time forward to.
    return {byBefore, byBefore};
}

// The instant a row stands for, given the instant of the row before it: the earlier reading
// unless that would put the row before the row before it, or, for a closed row, at the same
// instant (two closed rows never close at one moment; the live row may stand where the row
// before it closed).
std::int64_t resolve(const LocalInstants& i, std::optional<std::int64_t> before, bool closed) {
    if (!before) return i.earlier;
    const bool earlierFollows = closed ? i.earlier > *before : i.earlier >= *before;
    return earlierFollows ? i.earlier : i.later;
}

std::optional<LocalInstants> localInstants(std::int32_t dateCode, std::int32_t minutes) {
    const auto wall = wallSeconds(dateCode, minutes);
    if (!wall) return std::nullopt;
    const auto [before, after] = offsetsAround(*wall, 0);
    return instantsOfWall(*wall, before, after);
}

}  // namespace

std::optional<std::int64_t> localUnixTime(std::int32_t dateCode, std::int32_t minutes) {
    const auto i = localInstants(dateCode, minutes);
    if (!i) return std::nullopt;
    return i->earlier;
}

namespace {

// The date cell and the minutes a row stands for, by the rules above; false for a row beyond
// the table.
bool rowDateAndMinutes(const ScaleTable& table, int row, std::int32_t& date,
                       std::int32_t& minutes) {
    if (row < 0 || row >= table.rowSlots()) return false;
    date = table.date(row);
    // A Month row's date cell is YYMM: it stands for the first of its month.
    if (table.scale() == TimeScale::Month) date = date > 0 && date <= 9912 ? date * 100 + 1 : 0;
    minutes = hasTimeOfDay(table.scale()) ? table.time(row) : 0;
    const bool closesAtItsMinute = hasTimeOfDay(table.scale()) && table.scale() != TimeScale::Min;
    if (closesAtItsMinute && minutes == 0 && row < table.cnt) minutes = kMinutesPerDay;
    return true;
}

}  // namespace

std::optional<std::int64_t> RowClock::at(const ScaleTable& table, int row) {
    std::int32_t date = 0, minutes = 0;
    if (!rowDateAndMinutes(table, row, date, minutes)) return std::nullopt;
    if (minutes < 0 || minutes > kMinutesPerDay) return std::nullopt;
    const std::int64_t key = static_cast<std::int64_t>(date) * 100 + minutes / 60;
    if (key != key_) {
        key_ = key;
        hourWall_ = wallSeconds(date, minutes / 60 * 60);
        if (hourWall_) hourOffsets_ = offsetsAround(*hourWall_, 3600);
    }
    if (!hourWall_) return std::nullopt;
    const LocalInstants instants =
        instantsOfWall(*hourWall_ + (minutes % 60) * 60, hourOffsets_.first, hourOffsets_.second);
    const bool follows = previousRow_ >= 0 && previousRow_ < row;
    const std::int64_t t = resolve(instants, follows ? previous_ : std::nullopt, row < table.cnt);
    previousRow_ = row;
    previous_ = t;
    return t;
}

std::optional<std::int64_t> rowUnixTime(const ScaleTable& table, int row) {
    if (row < 0 || row >= table.rowSlots()) return std::nullopt;
    // Back to a row whose time reads only one instant (or the first row), then forward in
    // order, so that a row in the hour that repeats is read as the rows before it place it.
    int from = row;
    while (from > 0) {
        std::int32_t date = 0, minutes = 0;
        rowDateAndMinutes(table, from, date, minutes);
        const auto i = localInstants(date, minutes);
        if (!i || i->earlier == i->later) break;
        --from;
    }
    RowClock clock;
    std::optional<std::int64_t> t;
    for (int r = from; r <= row; ++r) t = clock.at(table, r);
    return t;
}

std::string isoLocalTime(std::int64_t unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[64];
    const long offset = tm.tm_gmtoff;
    const long absOffset = offset < 0 ? -offset : offset;
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld",
                  tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  offset < 0 ? '-' : '+', absOffset / 3600, absOffset / 60 % 60);
    return buffer;
}

}  // namespace tev::web
