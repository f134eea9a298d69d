#include "services/web/rules/row_cost.h"

#include <algorithm>
#include <ctime>
#include <map>

#include "core/texts/csv_text.h"
#include "services/alerts/tariff/local_midnight.h"
#include "services/web/rules/row_time.h"

namespace tev::web {
namespace {

constexpr std::int64_t kNominalSeconds[] = {60, 300, 600, 3600};

}  // namespace

std::string costColumnName(const alerts::Tariff& tariff) {
    // The currency is any text of tev3p.ini: quoted when it holds a comma, a quote or a line end.
    return csvTextCell("cost_" + tariff.currency());
}

std::optional<double> RowCosts::at(int row) {
    const std::optional<std::int64_t> t = clock_.at(table_, row);
    const bool follows = previousRow_ == row - 1 && previousRow_ >= 0;
    const bool hasBefore = follows && previousTime_.has_value();
    const std::int64_t before = hasBefore ? *previousTime_ : 0;
    const int beforeRow = previousRow_;
    previousRow_ = row;
    previousTime_ = t;
    lastEnergy_ = 0;
    if (!t) return std::nullopt;
    const double kwh = table_.value(kColKWh, row);
    const TimeScale scale = table_.scale();
    if (table_.hasTimeColumn()) {
        double used = kwh;
        if (follows && table_.date(beforeRow) == table_.date(row)) {
            const double earlier = table_.value(kColKWh, beforeRow);
            if (kwh >= earlier) used = kwh - earlier;
        }
        const std::int64_t from = hasBefore ? before : *t - kNominalSeconds[scaleIndex(scale)];
        lastEnergy_ = used;
        return tariff_.energyCost(used, static_cast<std::time_t>(std::min(from, *t)),
                                  static_cast<std::time_t>(*t));
    }
    const std::time_t from = static_cast<std::time_t>(*t);
    std::time_t to = 0;
    if (scale == TimeScale::Day) {
        to = alerts::localMidnightAfter(from, 1, 0);
    } else {
        to = scale == TimeScale::Week ? alerts::localMidnightAfter(from, 7, 0)
                                      : alerts::localMidnightAfter(from, 0, 1);
        // A shorter account (the first of the records) ends where the next one starts.
        if (row + 1 <= table_.cnt) {
            RowClock ahead = clock_;
            if (const auto next = ahead.at(table_, row + 1); next && *next > from)
                to = std::min(to, static_cast<std::time_t>(*next));
        }
    }
    lastEnergy_ = kwh;
    return tariff_.energyCost(kwh, from, to) + tariff_.standingCharges(from, to - 1);
}

TodayFigures todayFigures(const ScaleTable& hour, const alerts::Tariff& tariff,
                          std::int32_t today) {
    TodayFigures f;
    const auto midnight = localUnixTime(today, 0);
    if (!midnight) return f;
    if (hour.cnt < 0 || hour.date(hour.cnt) != today) {
        f.cost = tariff.standingChargeOn(static_cast<std::time_t>(*midnight));
        return f;
    }
    int first = hour.cnt;
    while (first > 0 && hour.date(first - 1) == today) --first;
    // From the last row of the day before, as periodCosts reads the rows, so that the first
    // hour is priced over the same span.
    RowCosts rows(hour, tariff);
    if (first > 0) rows.at(first - 1);
    for (int r = first; r <= hour.cnt; ++r) {
        if (const auto cost = rows.at(r)) {
            f.cost += *cost;
            f.kwh += rows.lastEnergy();
        }
    }
    f.cost += tariff.standingChargeOn(static_cast<std::time_t>(*midnight));
    return f;
}

PeriodCosts periodCosts(const ScaleTable& hour, const ScaleTable& day, const ScaleTable& week,
                        const alerts::Tariff& tariff) {
    PeriodCosts c;
    if (day.cnt < 0 || hour.cnt < 0 || week.cnt < 0) return c;
    const std::int32_t today = day.date(day.cnt);
    const auto midnight = localUnixTime(today, 0);
    if (!midnight) return c;
    // Every hour row priced over its own hour, summed per date. The oldest date of the table
    // may have lost its first hours to the table's length, so it does not count as whole.
    std::map<std::int32_t, double> hourCosts;
    RowCosts hours(hour, tariff);
    for (int r = 0; r <= hour.cnt; ++r) {
        if (const auto cost = hours.at(r)) hourCosts[hour.date(r)] += *cost;
    }
    const std::int32_t firstHourDate = hour.date(0);
    c.today = hourCosts.count(today) ? hourCosts[today] : 0.0;
    c.today += tariff.standingChargeOn(static_cast<std::time_t>(*midnight));
    c.week = c.today;
    c.month = c.today;
    const std::int32_t weekStart = week.date(week.cnt);
    RowCosts days(day, tariff);
    for (int r = 0; r < day.cnt; ++r) {
        const std::int32_t d = day.date(r);
        const bool inWeek = d >= weekStart && d < today;
        const bool inMonth = d / 100 == today / 100 && d < today;
        const auto dayCost = days.at(r);  // asked for every row: RowCosts follows the rows
        if (!inWeek && !inMonth) continue;
        // A whole day of hour rows prices each hour at its own price; else the Day row spreads
        // the day's energy evenly over the day.
        std::optional<double> cost = dayCost;
        if (d > firstHourDate && hourCosts.count(d)) {
            if (const auto dayMidnight = localUnixTime(d, 0))
                cost =
                    hourCosts[d] + tariff.standingChargeOn(static_cast<std::time_t>(*dayMidnight));
        }
        if (!cost) continue;
        if (inWeek) c.week += *cost;
        if (inMonth) c.month += *cost;
    }
    return c;
}

}  // namespace tev::web
