#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "services/archive/rules/insights.h"
#include "services/archive/rules/read_stop.h"
#include "services/archive/rules/series.h"

namespace tev::archive {

struct SeriesQuery {
    std::string meter;
    Resolution resolution = Resolution::Hour;
    std::vector<std::string> quantities;  // by name; empty: all of them
    std::optional<std::int64_t> from;     // Unix seconds, period starts from this moment on
    std::optional<std::int64_t> to;       // period starts before this moment
    const ReadStop* stop = nullptr;       // when set, the read is given up once it says so
};

// One meter's hour energy from a moment on, for its costs.
struct MeterEnergy {
    std::string meter;
    std::int64_t firstRow = 0;       // start of its first hour row of all (0: none)
    std::vector<std::int64_t> time;  // hour starts from `from` on, oldest first
    std::vector<double> kwh;         // energy used in each of those hours
    // The mean power of each phase (W1, W2, W3) in each of those hours, NaN where the row has
    // none; may be shorter than `time` (then the rest have none).
    std::vector<std::array<double, 3>> phaseWatts;
};

// A phase's mean power the archive does not hold.
inline constexpr double kNoPhaseWatts = std::numeric_limits<double>::quiet_NaN();

// How a reader on another thread asks the archive in `folder` for a meter's series or every
// meter's hour energy: plain functions, safe on any thread. The SQLite reader provides them;
// a service that reads the archive takes them from the app and never opens the file itself.
// A read given up by its stop (the query's or the argument) ends with an error.
struct ArchiveQueries {
    ArchiveSeries (*series)(const std::string& folder, const SeriesQuery& query,
                            std::string& error) = nullptr;
    std::vector<MeterEnergy> (*hourEnergy)(const std::string& folder, std::int64_t from,
                                           std::string& error, const ReadStop* stop) = nullptr;
    // One meter's hour rows (Energy, Watt mean, W1..W3 means) and minute rows (Watt mean) with
    // starts in [from, to), oldest first, for the evening figures.
    HourRows (*hourRows)(const std::string& folder, const std::string& meter, std::int64_t from,
                         std::int64_t to, std::string& error, const ReadStop* stop) = nullptr;
    MinuteRows (*minuteRows)(const std::string& folder, const std::string& meter, std::int64_t from,
                             std::int64_t to, std::string& error, const ReadStop* stop) = nullptr;
};

}  // namespace tev::archive
