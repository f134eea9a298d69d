#include "services/alerts/tariff/local_midnight.h"

namespace tev::alerts {

std::time_t localMidnight(std::time_t t) {
    return localMidnightAfter(t, 0);
}

std::time_t localMidnightAfter(std::time_t t, int days, int months) {
    std::tm tm{};
    localtime_r(&t, &tm);
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_mday += days;
    if (months != 0) {
        tm.tm_mon += months;
        tm.tm_mday = 1;
    }
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

}  // namespace tev::alerts
