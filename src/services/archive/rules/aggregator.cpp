#include "services/archive/rules/aggregator.h"

#include <algorithm>

#include "services/archive/rules/local_time.h"

namespace tev::archive {
namespace {

constexpr std::int64_t kHourSeconds = 3600;

// `kwh` used evenly over (from, to], in pieces per local hour; the pieces add up to `kwh`.
std::vector<EnergyPiece> piecesOver(double kwh, std::int64_t from, std::int64_t to) {
    std::vector<EnergyPiece> pieces;
    const auto span = static_cast<double>(to - from);
    double given = 0;
    for (std::int64_t hour = localHourStart(from); hour < to; hour += kHourSeconds) {
        const std::int64_t end = hour + kHourSeconds;
        const std::int64_t covered = std::min(end, to) - std::max(hour, from);
        if (covered <= 0) continue;
        const double kwhHere = end >= to ? kwh - given : kwh * static_cast<double>(covered) / span;
        given += kwhHere;
        pieces.push_back({hour, localDayStart(hour), kwhHere});
    }
    return pieces;
}

}  // namespace

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
    // After a drop the count is the new day's: it was used from the local midnight on at most.
    const std::int64_t silenceStart =
        sample.dayEnergy < state.dayEnergy
            ? std::max(state.lastUnixSeconds, localDayStart(sample.unixSeconds))
            : state.lastUnixSeconds;
    const bool spread = increment > 0 &&
                        sample.unixSeconds - state.lastUnixSeconds > kSilenceSeconds &&
                        sample.unixSeconds > silenceStart;
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
    PeriodDelta& delta = state.deltas.back();
    delta.stats.add(sample, increment);
    if (spread) {
        const std::vector<EnergyPiece> pieces =
            piecesOver(increment, silenceStart, sample.unixSeconds);
        delta.spread.insert(delta.spread.end(), pieces.begin(), pieces.end());
    } else {
        delta.rollupEnergy += increment;
    }
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
