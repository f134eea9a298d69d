#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "services/archive/rules/series.h"

namespace tev::archive {

// The weekly supply-voltage report of one meter, from its minute rows: the European supply
// standard asks that 95 % of a week's 10-minute mean voltages lie within ±10 % of nominal.
inline constexpr double kQualityBand = 0.10;         // ±10 % of nominal
inline constexpr double kQualityRequiredShare = 95;  // % of a week's 10-minute means
inline constexpr std::int64_t kQualityWindowSeconds = 600;

enum class QualityVerdict { NoData, Pass, Fail };
std::string_view qualityVerdictName(QualityVerdict v);

struct PhaseQuality {
    int windows = 0;          // 10-minute windows with a mean voltage
    int windowsInBand = 0;    // of those, within ±10 % of nominal
    double shareInBand = 0;   // %; 0 without windows
    int dipMinutes = 0;       // minutes whose minimum fell below 90 % of nominal
    int swellMinutes = 0;     // minutes whose maximum rose above 110 % of nominal
    double lowestVolts = 0;   // the lowest minute minimum (0 without rows)
    double highestVolts = 0;  // the highest minute maximum
    QualityVerdict verdict = QualityVerdict::NoData;
};

struct WeekQuality {
    std::int64_t weekStart = 0;  // Monday's local midnight
    std::int64_t weekEnd = 0;    // the next Monday's local midnight
    double nominalVolts = 0;
    bool nominalAssumed = false;  // no nominal was set: the standard one nearest the readings
    int minutes = 0;              // minute rows in the week
    std::array<PhaseQuality, 3> phases{};
    // The worst 10-minute unbalance: the largest deviation of a phase's mean from the three
    // phases' average, in % of that average, over windows with all three phases; and its start.
    std::optional<double> worstUnbalance;
    std::int64_t worstUnbalanceAt = 0;
};

// The report of the minute rows in `series` (V1–V3 with their _min and _max; rows outside the
// week are left out). Windows start at whole 10 minutes of the clock. Without a nominal voltage
// (0), the week is judged against the standard nominal nearest the median of its minute means.
inline constexpr double kStandardNominals[] = {100, 110, 115, 120, 127, 200, 220, 230, 240};
WeekQuality weekQuality(const ArchiveSeries& series, double nominalVolts, std::int64_t weekStart,
                        std::int64_t weekEnd);

// An ISO week "2026-W49": its Monday's local midnight, and the next Monday's. Nothing for any
// other text or a week the year does not have.
struct IsoWeek {
    std::int64_t start = 0;
    std::int64_t end = 0;
};
std::optional<IsoWeek> parseIsoWeek(std::string_view text);
// The ISO week holding `t` (local time), as "2026-W49".
std::string isoWeekName(std::int64_t t);

}  // namespace tev::archive
