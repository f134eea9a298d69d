#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "services/archive/rules/outbox.h"

namespace tev::fleet {

// How the archive's rows travel to PostgreSQL. The shipper sends each batch with COPY into a
// temporary staging table and moves it into its table with one INSERT … SELECT … ON CONFLICT
// DO UPDATE: COPY streams the rows with no statement to parse per row (several times the rate
// of multi-row INSERTs, bench/fleet_bench), and the upsert keyed by (site, meter, t) makes
// sending a row again harmless. Rows newer than any the database holds of the site skip the
// staging table: one COPY straight into the table. The multi-row INSERT is kept for that
// comparison.

// "2026-12-08 09:00:00+00", and with milliseconds "2026-12-08 09:00:00.250+00": UTC, as
// PostgreSQL reads a timestamptz whatever its time zone.
std::string utcTimestamp(std::int64_t unixSeconds);
std::string utcTimestampMs(std::int64_t unixMilliseconds);

// A meter ID or rule name as the database keeps it: printable ASCII stays, every other byte
// and '%' become %XX, so that any bytes a meter sends are valid text and two IDs never meet.
std::string databaseKey(std::string_view raw);

// A number as PostgreSQL reads it back to the same double: shortest text; NaN (NULL in the
// archive) is empty.
std::string exactNumber(double value);

// The staging table of a table in this session, emptied at each commit.
std::string stagingTable(archive::OutboxTable table);
std::string createStagingSql(archive::OutboxTable table);
std::string copyIntoStagingSql(archive::OutboxTable table);
// The minute, hour and day tables take their rows in COPY's binary format, the alerts as text.
bool binaryCopy(archive::OutboxTable table);
// Straight into the table, for rows newer than any it holds: a row already there fails it.
std::string copyIntoTableSql(archive::OutboxTable table);
// Moves the staged rows into the table; a row already there takes the new values.
std::string upsertFromStagingSql(archive::OutboxTable table);

// The COPY text of rows (one line each, tab-separated, \N for NULL).
void appendCopyRows(std::string& out, std::string_view site,
                    const std::vector<archive::PeriodRow>& rows);
// The same rows in COPY's binary format, header and trailer included (empty for no rows): the
// numbers travel as their eight bytes, so the server parses no text; NaN is NULL. For COPY …
// WITH (FORMAT binary) into a minute, hour or day table or its staging table.
void appendBinaryCopyRows(std::string& out, std::string_view site,
                          const std::vector<archive::PeriodRow>& rows);
void appendCopyRows(std::string& out, std::string_view site,
                    const std::vector<archive::AlertRow>& rows);

// A statement and its parameters, sent apart from it (PQexecParams): no site, meter ID or
// value is ever part of the statement's text. An empty parameter is NULL where the statement
// says NULLIF($n, '').
struct ParameterStatement {
    std::string sql;
    std::vector<std::string> parameters;
};

// The same rows as one multi-row INSERT … ON CONFLICT DO UPDATE; at most kInsertRowsAtOnce
// rows (a statement carries at most 65535 parameters).
inline constexpr std::size_t kInsertRowsAtOnce = 65535 / (3 + archive::kPeriodValueCount);
ParameterStatement insertRowsStatement(archive::OutboxTable table, std::string_view site,
                                       const std::vector<archive::PeriodRow>& rows);

// One meter of a site ($1 site, $2 meter, $3 first seen); a meter already there keeps its
// earliest first_seen.
std::string upsertMeterSql();

// The latest period start (Unix seconds, NULL when none) of a minute, hour or day table's rows
// of the site $1, one probe of the key per meter of the site.
std::string latestRowSql(archive::OutboxTable table);

// What the database holds of one meter's rows of a site: how many, and the latest period start
// (Unix seconds; alerts: milliseconds). $1 site, $2 and $3 the window [from, to) in Unix
// seconds; alerts: $2 the earliest time in milliseconds.
std::string heldRowsSql(archive::OutboxTable table);

}  // namespace tev::fleet
