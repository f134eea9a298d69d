#include "services/archive/rules/aggregator.h"

#include "services/archive/rules/local_time.h"

namespace tev::archive {

void Aggregator::add(const ArchiveSample& sample) {
    auto it = meters_.find(sample.idView());
    if (it == meters_.end()) it = meters_.emplace(std::string(sample.idView()), MeterState{}).first;
    MeterState& state = it->second;
    const bool continued =
        state.haveDayEnergy &&
        (localDayStart(sample.unixSeconds) == localDayStart(state.lastUnixSeconds) ||
         (sample.unixSeconds >= state.lastUnixSeconds &&
          sample.unixSeconds - state.lastUnixSeconds <= kMaxEnergyGapSeconds));
    const double increment = continued ? energyBetween(state.dayEnergy, sample.dayEnergy) : 0.0;
    state.haveDayEnergy = true;
    state.dayEnergy = sample.dayEnergy;
    state.lastUnixSeconds = sample.unixSeconds;

    const std::int64_t minute = minuteStart(sample.unixSeconds);
    if (state.deltas.empty() || state.deltas.back().minute != minute) {
        PeriodDelta d;
        d.meter = it->first;
        d.minute = minute;
        d.hour = localHourStart(sample.unixSeconds);
        d.day = localDayStart(sample.unixSeconds);
        state.deltas.push_back(std::move(d));
        ++pending_;
    }
    state.deltas.back().stats.add(sample, increment);
}

std::vector<PeriodDelta> Aggregator::take() {
    std::vector<PeriodDelta> out;
    out.reserve(pending_);
    for (auto& [id, state] : meters_) {
        for (PeriodDelta& d : state.deltas) out.push_back(std::move(d));
        state.deltas.clear();
    }
    pending_ = 0;
    return out;
}

void Aggregator::seedDayEnergy(const std::string& meter, double dayEnergy,
                               std::int64_t atUnixSeconds) {
    MeterState& state = meters_[meter];
    if (state.haveDayEnergy) return;
    state.haveDayEnergy = true;
    state.dayEnergy = dayEnergy;
    state.lastUnixSeconds = atUnixSeconds;
}

}  // namespace tev::archive
