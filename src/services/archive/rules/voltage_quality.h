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
// A phase is judged only when its 10-minute means cover at least this share of the week's
// windows (1008; 6 fewer or more in a week with a clock change): a meter seen for an hour of
// the week says nothing of the other 167.
inline constexpr double kQualityRequiredCoverage = 75;  // % of the week's windows
// A phase whose 10-minute mean is at or below this share of nominal is dead in that window (a
// lost phase reads 0 V); above it, it is live. The unbalance is taken only over windows where
// all three phases are live.
inline constexpr double kQualityLiveFraction = 0.5;

enum class QualityVerdict { NoData, NotEnoughData, Pass, Fail };
std::string_view qualityVerdictName(QualityVerdict v);

struct PhaseQuality {
    int windows = 0;         // 10-minute windows with a mean voltage
    int windowsInBand = 0;   // of those, within ±10 % of nominal
    double shareInBand = 0;  // %; 0 without windows
    double coverage = 0;     // windows in % of the week's windows
    int deadWindows = 0;     // windows whose mean was at or below the live share of nominal
    int dipMinutes = 0;      // minutes whose minimum fell below 90 % of nominal
    int swellMinutes = 0;    // minutes whose maximum rose above 110 % of nominal
    std::optional<double> lowestVolts;   // the lowest minute minimum; 0 V is a reading
    std::optional<double> highestVolts;  // the highest minute maximum
    // No windows: no data; under the required coverage: not enough data; else pass or fail.
    QualityVerdict verdict = QualityVerdict::NoData;
};

struct WeekQuality {
    std::int64_t weekStart = 0;  // Monday's local midnight
    std::int64_t weekEnd = 0;    // the next Monday's local midnight
    int weekWindows = 0;         // the week's 10-minute windows
    double nominalVolts = 0;
    bool nominalAssumed = false;  // no nominal was set: the standard one nearest the readings
    int minutes = 0;              // minute rows in the week with a voltage reading
    std::array<PhaseQuality, 3> phases{};
    // The worst 10-minute unbalance (tev::phaseImbalancePercent of the three phases' means)
    // over the windows where all three phases are live, and its start; nothing without one.
    std::optional<double> worstUnbalance;
    std::int64_t worstUnbalanceAt = 0;
    int unbalanceWindows = 0;  // windows with all three phases live
};

// The report of the minute rows in `series` (V1–V3 with their _min and _max; rows outside the
// week are left out; a value that is not a number, as the archive gives for a row that counted
// no message, is no reading). Windows start at whole 10 minutes of the clock. Without a nominal
// voltage (0), the week is judged against the standard nominal nearest the median of its minute
// means.
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
