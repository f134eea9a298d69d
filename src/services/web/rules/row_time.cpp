#include "services/web/rules/row_time.h"

#include <cstdio>
#include <ctime>

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

}  // namespace

std::optional<std::int64_t> localUnixTime(std::int32_t dateCode, std::int32_t minutes) {
    if (dateCode <= 0 || dateCode > 991231 || minutes < 0 || minutes > kMinutesPerDay)
        return std::nullopt;
    const int year = 2000 + dateCode / 10000;
    const int month = dateCode / 100 % 100;
    const int day = dateCode % 100;
    if (!realDate(year, month, day)) return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    // Minutes past 24:00 and the end of a month are carried by mktime into the next day.
    tm.tm_mday = day;
    tm.tm_hour = minutes / 60;
    tm.tm_min = minutes % 60;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<std::int64_t>(t);
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

std::optional<std::int64_t> rowUnixTime(const ScaleTable& table, int row) {
    std::int32_t date = 0, minutes = 0;
    if (!rowDateAndMinutes(table, row, date, minutes)) return std::nullopt;
    return localUnixTime(date, minutes);
}

std::optional<std::int64_t> RowClock::at(const ScaleTable& table, int row) {
    std::int32_t date = 0, minutes = 0;
    if (!rowDateAndMinutes(table, row, date, minutes)) return std::nullopt;
    if (minutes < 0 || minutes > kMinutesPerDay) return std::nullopt;
    const std::int64_t key = static_cast<std::int64_t>(date) * 100 + minutes / 60;
    if (key != key_) {
        key_ = key;
        hourStart_ = localUnixTime(date, minutes / 60 * 60);
    }
    if (!hourStart_) return std::nullopt;
    return *hourStart_ + (minutes % 60) * 60;
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
