#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tev::fleet {

// The fleet database's tables (meters, minutes, hours, days, alerts: the archive's columns
// with the site in front and times as timestamptz) and the table that holds their version.
inline constexpr int kFleetSchemaVersion = 1;
inline constexpr const char* kSchemaVersionTable = "tev3p_schema";
// Taken by every recorder that creates or migrates the schema, so that recorders starting
// together do it once.
inline constexpr std::int64_t kSchemaLockKey = 0x7465763370;  // "tev3p"

// The columns of the minute, hour and day tables after (site, meter, t), in the archive's
// order of quantities.
const std::vector<std::string>& fleetPeriodColumns();

// The statements that bring a database from `fromVersion` (0: empty) to the next version,
// with the row that records it. Version 1 makes the row tables hypertables where the
// timescaledb extension is installed in the database.
std::string migrationSql(int fromVersion);

// What `tev3p fleet-schema` prints: the newest schema for an empty database in one
// transaction, and the grants the program then needs.
std::string fleetSchemaSql();

enum class SchemaAction { Create, Migrate, Current, Refuse };
// What a recorder does on a database whose version table holds `found` (nothing: no table).
SchemaAction schemaAction(std::optional<int> found);

// The log line for a database of a newer program, which is never written.
std::string newerSchemaLine(const std::string& where, int found);

}  // namespace tev::fleet
