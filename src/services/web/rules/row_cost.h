#pragma once

#include <optional>
#include <string>

#include "core/store/scale_table.h"
#include "services/alerts/tariff/tariff.h"
#include "services/web/rules/row_time.h"

namespace tev::web {

// What the energy of one table row costs under `tariff`.
//
// The minute, 5-minute, 10-minute and hour rows carry the day's running kWh count: a row's
// energy is its count less the row before it on the same date (the whole count on a new date
// or after a drop), used evenly since the row before it. A Day row's energy is its day's count,
// a Week or Month row's its account, used evenly over its span; those rows also carry the
// standing charge of each day they cover. Nothing for a row whose date cell is no date.
class RowCosts {
  public:
    RowCosts(const ScaleTable& table, const alerts::Tariff& tariff)
        : table_(table), tariff_(tariff) {}

    // Rows must be asked in order, oldest first, as the CSV writes them.
    std::optional<double> at(int row);
    // The energy the row asked last was priced for, in kWh.
    double lastEnergy() const { return lastEnergy_; }

  private:
    const ScaleTable& table_;
    const alerts::Tariff& tariff_;
    RowClock clock_;
    std::optional<std::int64_t> previousTime_;
    int previousRow_ = -1;
    double lastEnergy_ = 0;
};

// The column name of the cost: "cost_" and the currency, like the units of the others, as a
// CSV text cell.
std::string costColumnName(const alerts::Tariff& tariff);

// Today, this week and this month of the primary meter: today and every earlier day of the
// week (from the Week account's start) and of the month that the Hour table holds whole are
// priced hour by hour; older days by their Day rows, their energy spread evenly over the day.
// Each day counted carries its standing charge.
struct PeriodCosts {
    double today = 0;
    double week = 0;
    double month = 0;
};
PeriodCosts periodCosts(const ScaleTable& hour, const ScaleTable& day, const ScaleTable& week,
                        const alerts::Tariff& tariff);

// Today's energy and cost of the primary meter: the Hour table's rows of `today` (the clock's
// date, YYMMDD), each priced over its own hour, and the day's standing charge. The same figures
// as PeriodCosts::today, read from at most a day of rows, for the tray and the broker. They
// start again at midnight (with the standing charge alone until the day's first hour row),
// whatever the day accounts K1-K3 hold.
struct TodayFigures {
    double kwh = 0;
    double cost = 0;
};
TodayFigures todayFigures(const ScaleTable& hour, const alerts::Tariff& tariff, std::int32_t today);

}  // namespace tev::web
