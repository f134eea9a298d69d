#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/archive/rules/series.h"

namespace tev::archive {

struct SeriesQuery {
    std::string meter;
    Resolution resolution = Resolution::Hour;
    std::vector<std::string> quantities;  // by name; empty: all of them
    std::optional<std::int64_t> from;     // Unix seconds, period starts from this moment on
    std::optional<std::int64_t> to;       // period starts before this moment
};

// Reads a meter's rows through a read-only connection of its own, so it can run on any thread
// while the writer records. Empty `error` on success (a meter without rows gives an empty
// series).
ArchiveSeries queryArchiveSeries(const std::string& folder, const SeriesQuery& query,
                                 std::string& error);

// One meter's hour energy from a moment on, for its costs.
struct MeterEnergy {
    std::string meter;
    std::int64_t firstRow = 0;        // start of its first hour row of all (0: none)
    std::vector<std::int64_t> time;   // hour starts from `from` on, oldest first
    std::vector<double> kwh;          // energy used in each of those hours
};

// Every meter the archive knows, in ID order, with its hour energy from `from` on; a meter
// without rows there has empty vectors. Read through a read-only connection of its own.
std::vector<MeterEnergy> queryHourEnergy(const std::string& folder, std::int64_t from,
                                         std::string& error);

// The meters the archive knows, in ID order.
std::vector<std::string> archivedMeters(const std::string& folder, std::string& error);

}  // namespace tev::archive
