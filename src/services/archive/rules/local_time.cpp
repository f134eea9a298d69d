#include "services/archive/rules/local_time.h"

#include <cstdio>
#include <ctime>

namespace tev::archive {

std::tm localParts(std::int64_t unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    localtime_r(&t, &parts);
    return parts;
}

namespace {

std::int64_t localToUnix(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;  // let the zone say whether summer time applies
    return static_cast<std::int64_t>(std::mktime(&parts));
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

bool validDate(int y, int m, int d) {
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1970 || y > 9999 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m != 2 || d <= 28 || leap;
}

bool digits(std::string_view text, std::size_t at, std::size_t n, int& value) {
    if (at + n > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

std::int64_t minuteStart(std::int64_t unixSeconds) {
    std::int64_t m = unixSeconds / 60;
    if (unixSeconds < 0 && unixSeconds % 60 != 0) --m;
    return m * 60;
}

std::int64_t localHourStart(std::int64_t unixSeconds) {
    const std::tm p = localParts(unixSeconds);
    return unixSeconds - p.tm_min * 60 - p.tm_sec;
}

std::int64_t localDayStart(std::int64_t unixSeconds) {
    const std::tm p = localParts(unixSeconds);
    return localToUnix(p.tm_year + 1900, p.tm_mon + 1, p.tm_mday, 0, 0, 0);
}

std::int64_t localUnixSeconds(int year, int month, int day, int hour, int minute, int second) {
    return localToUnix(year, month, day, hour, minute, second);
}

std::optional<std::int64_t> localMidnightOfMeterDate(std::int32_t meterDate) {
    const int y = 2000 + meterDate / 10000, m = meterDate / 100 % 100, d = meterDate % 100;
    if (meterDate <= 0 || meterDate > 991231 || !validDate(y, m, d)) return std::nullopt;
    return localToUnix(y, m, d, 0, 0, 0);
}

std::string isoLocal(std::int64_t unixSeconds) {
    const std::tm p = localParts(unixSeconds);
    const long offset = p.tm_gmtoff;
    const long magnitude = offset < 0 ? -offset : offset;
    // Room for every field at its widest, so that nothing is ever cut.
    char text[128];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", p.tm_year + 1900,
                  p.tm_mon + 1, p.tm_mday, p.tm_hour, p.tm_min, p.tm_sec, offset < 0 ? '-' : '+',
                  magnitude / 3600, magnitude / 60 % 60);
    return text;
}

std::optional<std::int64_t> parseIsoTime(std::string_view text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!digits(text, 0, 4, y) || text.size() < 10 || text[4] != '-' || !digits(text, 5, 2, mo) ||
        text[7] != '-' || !digits(text, 8, 2, d) || !validDate(y, mo, d))
        return std::nullopt;
    std::size_t at = 10;
    if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
        if (!digits(text, at + 1, 2, h) || at + 3 >= text.size() || text[at + 3] != ':' ||
            !digits(text, at + 4, 2, mi))
            return std::nullopt;
        at += 6;
        if (at < text.size() && text[at] == ':') {
            if (!digits(text, at + 1, 2, s)) return std::nullopt;
            at += 3;
        }
        if (h > 23 || mi > 59 || s > 59) return std::nullopt;
    }
    if (at == text.size()) return localToUnix(y, mo, d, h, mi, s);
    const std::int64_t utc = daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    if (text.substr(at) == "Z") return utc;
    int oh = 0, om = 0;
    if ((text[at] != '+' && text[at] != '-') || text.size() != at + 6 ||
        !digits(text, at + 1, 2, oh) || text[at + 3] != ':' || !digits(text, at + 4, 2, om) ||
        oh > 23 || om > 59)
        return std::nullopt;
    const std::int64_t offset = (oh * 3600 + om * 60) * (text[at] == '-' ? -1 : 1);
    return utc - offset;
}

}  // namespace tev::archive
