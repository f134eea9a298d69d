#include "services/archive/rules/voltage_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

#include "core/meterlink/phase_imbalance.h"
#include "services/archive/rules/local_time.h"

namespace tev::archive {
namespace {

constexpr int kPhases = 3;
constexpr int kMaxIsoWeeks = 53;

const std::vector<double>* column(const ArchiveSeries& s, std::string_view name) {
    for (std::size_t q = 0; q < s.quantities.size() && q < s.values.size(); ++q)
        if (s.quantities[q]->name == name) return &s.values[q];
    return nullptr;
}

// Monday of ISO week 1 of `year`: the week that holds 4 January.
std::int64_t isoYearStart(int year) {
    const std::int64_t jan4 = localUnixSeconds(year, 1, 4, 0, 0, 0);
    const int mondayBased = (localParts(jan4).tm_wday + 6) % 7;
    return localUnixSeconds(year, 1, 4 - mondayBased, 0, 0, 0);
}

// Local midnight `days` after the date of `t`.
std::int64_t daysAfter(std::int64_t t, int days) {
    const std::tm p = localParts(t);
    return localUnixSeconds(p.tm_year + 1900, p.tm_mon + 1, p.tm_mday + days, 0, 0, 0);
}

struct Window {
    std::array<double, kPhases> sum{};
    std::array<int, kPhases> count{};
};

}  // namespace

std::string_view qualityVerdictName(QualityVerdict v) {
    switch (v) {
        case QualityVerdict::NoData:
            return "no data";
        case QualityVerdict::NotEnoughData:
            return "not enough data";
        case QualityVerdict::Pass:
            return "pass";
        case QualityVerdict::Fail:
            return "fail";
    }
    return "no data";
}

namespace {

// The standard nominal voltage nearest the median of the week's minute means of every phase;
// 230 V for a week without readings.
double assumedNominal(const ArchiveSeries& series,
                      const std::array<const std::vector<double>*, kPhases>& mean,
                      std::int64_t weekStart, std::int64_t weekEnd) {
    std::vector<double> volts;
    for (std::size_t row = 0; row < series.time.size(); ++row) {
        if (series.time[row] < weekStart || series.time[row] >= weekEnd) continue;
        for (const std::vector<double>* m : mean) {
            // A phase that is lost reads 0 V: it says nothing of the supply's nominal voltage.
            if (m != nullptr && std::isfinite((*m)[row]) && (*m)[row] > 50)
                volts.push_back((*m)[row]);
        }
    }
    if (volts.empty()) return 230;
    auto middle = volts.begin() + static_cast<std::ptrdiff_t>(volts.size() / 2);
    std::nth_element(volts.begin(), middle, volts.end());
    double best = kStandardNominals[0];
    for (const double n : kStandardNominals) {
        if (std::abs(n - *middle) < std::abs(best - *middle)) best = n;
    }
    return best;
}

}  // namespace

WeekQuality weekQuality(const ArchiveSeries& series, double nominalVolts, std::int64_t weekStart,
                        std::int64_t weekEnd) {
    WeekQuality w;
    w.weekStart = weekStart;
    w.weekEnd = weekEnd;
    std::array<const std::vector<double>*, kPhases> mean{}, min{}, max{};
    for (int p = 0; p < kPhases; ++p) {
        const std::string name = "V" + std::to_string(p + 1);
        mean[p] = column(series, name);
        min[p] = column(series, name + "_min");
        max[p] = column(series, name + "_max");
    }
    if (!(nominalVolts > 0)) {
        nominalVolts = assumedNominal(series, mean, weekStart, weekEnd);
        w.nominalAssumed = true;
    }
    w.nominalVolts = nominalVolts;
    const double low = nominalVolts * (1 - kQualityBand);
    const double high = nominalVolts * (1 + kQualityBand);
    const double live = nominalVolts * kQualityLiveFraction;
    std::map<std::int64_t, Window> windows;
    for (std::size_t row = 0; row < series.time.size(); ++row) {
        const std::int64_t t = series.time[row];
        if (t < weekStart || t >= weekEnd) continue;
        Window& window = windows[t - ((t % kQualityWindowSeconds) + kQualityWindowSeconds) %
                                         kQualityWindowSeconds];
        bool reading = false;
        for (int p = 0; p < kPhases; ++p) {
            PhaseQuality& q = w.phases[p];
            if (mean[p] != nullptr && std::isfinite((*mean[p])[row])) {
                window.sum[p] += (*mean[p])[row];
                ++window.count[p];
                reading = true;
            }
            if (min[p] != nullptr && std::isfinite((*min[p])[row])) {
                const double v = (*min[p])[row];
                if (v < low) ++q.dipMinutes;
                q.lowestVolts = q.lowestVolts ? std::min(*q.lowestVolts, v) : v;
            }
            if (max[p] != nullptr && std::isfinite((*max[p])[row])) {
                const double v = (*max[p])[row];
                if (v > high) ++q.swellMinutes;
                q.highestVolts = q.highestVolts ? std::max(*q.highestVolts, v) : v;
            }
        }
        if (reading) ++w.minutes;
    }
    for (const auto& [start, window] : windows) {
        std::array<double, kPhases> means{};
        int phasesLive = 0;
        for (int p = 0; p < kPhases; ++p) {
            if (window.count[p] == 0) continue;
            means[p] = window.sum[p] / window.count[p];
            PhaseQuality& q = w.phases[p];
            ++q.windows;
            if (means[p] >= low && means[p] <= high) ++q.windowsInBand;
            if (means[p] > live)
                ++phasesLive;
            else
                ++q.deadWindows;
        }
        if (phasesLive != kPhases) continue;
        ++w.unbalanceWindows;
        const std::optional<double> unbalance = phaseImbalancePercent(means);
        if (unbalance && (!w.worstUnbalance || *unbalance > *w.worstUnbalance)) {
            w.worstUnbalance = unbalance;
            w.worstUnbalanceAt = start;
        }
    }
    w.weekWindows =
        static_cast<int>(std::max<std::int64_t>(weekEnd - weekStart, 0) / kQualityWindowSeconds);
    for (PhaseQuality& q : w.phases) {
        if (q.windows == 0) continue;
        q.shareInBand = 100.0 * q.windowsInBand / q.windows;
        q.coverage = w.weekWindows > 0 ? 100.0 * q.windows / w.weekWindows : 0;
        if (q.coverage < kQualityRequiredCoverage)
            q.verdict = QualityVerdict::NotEnoughData;
        else
            q.verdict = q.shareInBand >= kQualityRequiredShare ? QualityVerdict::Pass
                                                               : QualityVerdict::Fail;
    }
    return w;
}

std::optional<IsoWeek> parseIsoWeek(std::string_view text) {
    // YYYY-Www
    if (text.size() != 8 || text[4] != '-' || text[5] != 'W') return std::nullopt;
    int year = 0, week = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        if (i == 4 || i == 5) continue;
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        (i < 4 ? year : week) = (i < 4 ? year : week) * 10 + (text[i] - '0');
    }
    if (year < 1971 || year > 9998 || week < 1 || week > kMaxIsoWeeks) return std::nullopt;
    const std::int64_t start = daysAfter(isoYearStart(year), (week - 1) * 7);
    if (start >= isoYearStart(year + 1)) return std::nullopt;  // a year with 52 weeks
    return IsoWeek{start, daysAfter(start, 7)};
}

std::string isoWeekName(std::int64_t t) {
    const std::tm parts = localParts(t);
    int year = parts.tm_year + 1900;
    if (t >= isoYearStart(year + 1))
        ++year;
    else if (t < isoYearStart(year))
        --year;
    const std::int64_t monday = daysAfter(t, -((parts.tm_wday + 6) % 7));
    // Whole days between two midnights: round, since a day may last 23 or 25 hours.
    const auto days = std::llround(static_cast<double>(monday - isoYearStart(year)) / 86400);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-W%02d", year, static_cast<int>(days / 7 + 1));
    return text;
}

}  // namespace tev::archive
