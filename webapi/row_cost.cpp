#include "webapi/row_cost.h"

#include <algorithm>
#include <ctime>

#include "webapi/row_time.h"

namespace tev::web {
namespace {

constexpr std::int64_t kNominalSeconds[] = {60, 300, 600, 3600};

// Local midnight `days` after the day of `t` (0: its own midnight), or with `months` the
// first of the month that many months on.
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

}  // namespace

std::string costColumnName(const Tariff& tariff) {
    return "cost_" + tariff.currency();
}

std::optional<double> RowCosts::at(int row) {
    const std::optional<std::int64_t> t = rowUnixTime(table_, row);
    const bool follows = previousRow_ == row - 1 && previousRow_ >= 0;
    const std::optional<std::int64_t> before = follows ? previousTime_ : std::nullopt;
    const int beforeRow = previousRow_;
    previousRow_ = row;
    previousTime_ = t;
    if (!t) return std::nullopt;
    const double kwh = table_.value(kColKWh, row);
    const TimeScale scale = table_.scale();
    if (table_.hasTimeColumn()) {
        double used = kwh;
        if (follows && table_.date(beforeRow) == table_.date(row)) {
            const double earlier = table_.value(kColKWh, beforeRow);
            if (kwh >= earlier) used = kwh - earlier;
        }
        const std::int64_t from = before ? *before : *t - kNominalSeconds[scaleIndex(scale)];
        return tariff_.energyCost(used, static_cast<std::time_t>(std::min(from, *t)),
                                  static_cast<std::time_t>(*t));
    }
    const std::time_t from = static_cast<std::time_t>(*t);
    std::time_t to = 0;
    if (scale == TimeScale::Day) {
        to = localMidnightAfter(from, 1, 0);
    } else {
        to = scale == TimeScale::Week ? localMidnightAfter(from, 7, 0)
                                      : localMidnightAfter(from, 0, 1);
        // A shorter account (the first of the records) ends where the next one starts.
        if (row + 1 <= table_.cnt) {
            if (const auto next = rowUnixTime(table_, row + 1); next && *next > from)
                to = std::min(to, static_cast<std::time_t>(*next));
        }
    }
    return tariff_.energyCost(kwh, from, to) + tariff_.standingCharges(from, to - 1);
}

PeriodCosts periodCosts(const ScaleTable& hour, const ScaleTable& day, const ScaleTable& week,
                        const Tariff& tariff) {
    PeriodCosts c;
    if (day.cnt < 0 || hour.cnt < 0 || week.cnt < 0) return c;
    const std::int32_t today = day.date(day.cnt);
    const auto midnight = localUnixTime(today, 0);
    if (!midnight) return c;
    // Today's hour rows, from the row before the first of them so that hour is priced too.
    int first = hour.cnt;
    while (first > 0 && hour.date(first - 1) == today) --first;
    RowCosts hours(hour, tariff);
    for (int r = std::max(first - 1, 0); r <= hour.cnt; ++r) {
        const auto cost = hours.at(r);
        if (cost && hour.date(r) == today) c.today += *cost;
    }
    c.today += tariff.standingChargeOn(static_cast<std::time_t>(*midnight));
    c.week = c.today;
    c.month = c.today;
    const std::int32_t weekStart = week.date(week.cnt);
    RowCosts days(day, tariff);
    for (int r = 0; r < day.cnt; ++r) {
        const std::int32_t d = day.date(r);
        const bool inWeek = d >= weekStart && d < today;
        const bool inMonth = d / 100 == today / 100 && d < today;
        if (!inWeek && !inMonth) continue;
        const auto cost = days.at(r);
        if (!cost) continue;
        if (inWeek) c.week += *cost;
        if (inMonth) c.month += *cost;
    }
    return c;
}

}  // namespace tev::web
