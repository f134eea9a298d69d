#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/archive/rules/alert_record.h"
#include "services/archive/rules/archive_queries.h"

namespace tev::archive {

// Reads a meter's rows through a read-only connection of its own, so it can run on any thread
// while the writer records. Empty `error` on success (a meter without rows gives an empty
// series); given up with an error once the query's stop says so.
ArchiveSeries queryArchiveSeries(const std::string& folder, const SeriesQuery& query,
                                 std::string& error);

// Every meter the archive knows, in ID order, with its hour energy from `from` on; a meter
// without rows there has empty vectors. Read through a read-only connection of its own; given
// up with an error once `stop` says so.
std::vector<MeterEnergy> queryHourEnergy(const std::string& folder, std::int64_t from,
                                         std::string& error, const ReadStop* stop = nullptr);

// One meter's hour rows and minute rows with starts in [from, to), oldest first; NaN where a
// row holds no value; empty for a meter without rows there. Read through a read-only
// connection of their own; given up with an error once `stop` says so.
HourRows queryHourRows(const std::string& folder, const std::string& meter, std::int64_t from,
                       std::int64_t to, std::string& error, const ReadStop* stop = nullptr);
MinuteRows queryMinuteRows(const std::string& folder, const std::string& meter, std::int64_t from,
                           std::int64_t to, std::string& error, const ReadStop* stop = nullptr);

// The queries above, for the readers that take them by ArchiveQueries.
inline ArchiveQueries sqliteArchiveQueries() {
    return {queryArchiveSeries, queryHourEnergy, queryHourRows, queryMinuteRows};
}

// The meters the archive knows, in ID order.
std::vector<std::string> archivedMeters(const std::string& folder, std::string& error);

// The newest `limit` rows of the alerts table, oldest first; none when the archive is missing
// or older than the table.
std::vector<AlertRecord> readRecentAlerts(const std::string& path, int limit);

}  // namespace tev::archive
