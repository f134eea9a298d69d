#include "services/alerts/tariff/cost_today.h"

namespace tev {

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

void CostToday::update(double todayKwh, std::time_t now) {
    const int date = localDateCode(now);
    if (!started_ || date != date_ || todayKwh < kwh_ || now < last_) {
        const std::time_t midnight = localMidnight(now);
        // A new day, or a count that went back: what the day holds is spread since midnight.
        energy_ = tariff_.energyCost(todayKwh, midnight, now > midnight ? now : midnight);
        standing_ = tariff_.standingChargeOn(now);
        started_ = true;
    } else if (todayKwh > kwh_) {
        energy_ += tariff_.energyCost(todayKwh - kwh_, last_, now);
    }
    date_ = date;
    kwh_ = todayKwh;
    last_ = now;
}

}  // namespace tev
