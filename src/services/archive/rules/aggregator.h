#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "services/archive/rules/archive_sample.h"
#include "services/archive/rules/period_stats.h"

namespace tev::archive {

// Energy of a silence that belongs to one hour (and its day), with no readings of its own.
struct EnergyPiece {
    std::int64_t hour = 0;  // period starts, Unix seconds
    std::int64_t day = 0;
    double kwh = 0;
};

// The messages of one meter in one minute that have not been written yet. The same figures
// are merged into that minute's row, its hour's row and its day's row, except for energy that
// followed a silence: the minute row keeps it whole, as the meter measured it, while the hour
// and day rows receive it as `spread`, the pieces of the hours the silence covered.
struct PeriodDelta {
    std::string meter;
    std::int64_t minute = 0;  // period starts, Unix seconds
    std::int64_t hour = 0;
    std::int64_t day = 0;
    PeriodStats stats;
    double rollupEnergy = 0;  // kWh of stats.energy that the hour and day rows take as is
    std::vector<EnergyPiece> spread;
};

// Gathers messages into per-meter, per-minute parts until the writer takes them. Each message
// goes into exactly one part, and each part is taken once, so every message counts once.
//
// A minute's energy is what the meter's day count grew since the reading before. The first
// reading of a meter is a baseline, and so is the first on a new day after a silence longer
// than kMaxEnergyGapSeconds: the day so far was used in minutes the archive never saw, and
// would otherwise all land in one minute (and be priced at that minute's band). Within a day,
// what the count grew over a silence was measured by the meter and is kept: when the reading
// before came more than kSilenceSeconds earlier, the growth was used evenly over the silence,
// so the hours and days receive it in pieces proportional to their share of it.
class Aggregator {
  public:
    static constexpr std::int64_t kMaxEnergyGapSeconds = 300;
    static constexpr std::int64_t kSilenceSeconds = 60;

    void add(const ArchiveSample& sample);
    // Every part gathered since the last call, oldest first per meter.
    std::vector<PeriodDelta> take();
    // The last day energy recorded for a meter before this run and the time of that row, so
    // that the first message after a quick restart counts only what was used since.
    void seedDayEnergy(const std::string& meter, double dayEnergy, std::int64_t atUnixSeconds);
    bool knows(const std::string& meter) const { return meters_.count(meter) != 0; }
    std::size_t pendingCount() const { return pending_; }

  private:
    struct MeterState {
        bool haveDayEnergy = false;
        double dayEnergy = 0;
        std::int64_t lastUnixSeconds = 0;
        std::vector<PeriodDelta> deltas;
    };
    std::map<std::string, MeterState, std::less<>> meters_;
    std::size_t pending_ = 0;
};

}  // namespace tev::archive
