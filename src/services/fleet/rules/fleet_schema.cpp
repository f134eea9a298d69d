#include "services/fleet/rules/fleet_schema.h"

#include "services/archive/rules/series.h"

namespace tev::fleet {
namespace {

std::string periodTable(const std::string& name) {
    std::string sql = "CREATE TABLE " + name +
                      " (\n    site text NOT NULL,\n    meter text NOT NULL,\n    t timestamptz "
                      "NOT NULL";
    for (const std::string& c : fleetPeriodColumns())
        sql += ",\n    " + c + (c == "n" ? " bigint NOT NULL" : " double precision");
    sql += ",\n    PRIMARY KEY (site, meter, t)\n);\n";
    // Grafana's panels ask every site's meters for a time range.
    sql += "CREATE INDEX " + name + "_by_time ON " + name + " (t);\n";
    return sql;
}

std::string version1() {
    std::string sql = std::string("CREATE TABLE ") + kSchemaVersionTable +
                      " (\n    version integer PRIMARY KEY,\n    applied timestamptz NOT NULL "
                      "DEFAULT now()\n);\n";
    sql +=
        "CREATE TABLE meters (\n    site text NOT NULL,\n    id text NOT NULL,\n    first_seen "
        "timestamptz NOT NULL,\n    PRIMARY KEY (site, id)\n);\n";
    sql += periodTable("minutes") + periodTable("hours") + periodTable("days");
    sql +=
        "CREATE TABLE alerts (\n    site text NOT NULL,\n    meter text NOT NULL,\n    t "
        "timestamptz NOT NULL,\n    rule text NOT NULL,\n    phase integer NOT NULL,\n    event "
        "text NOT NULL,\n    value double precision,\n    threshold double precision,\n    "
        "PRIMARY KEY (site, meter, t, rule, phase, event)\n);\n"
        "CREATE INDEX alerts_by_time ON alerts (t);\n";
    // TimescaleDB, where the database has it, partitions the row tables by time.
    sql +=
        "DO $$\nBEGIN\n    IF EXISTS (SELECT 1 FROM pg_extension WHERE extname = 'timescaledb') "
        "THEN\n        PERFORM create_hypertable('minutes', 't', chunk_time_interval => "
        "interval '7 days', migrate_data => true);\n        PERFORM create_hypertable('hours', "
        "'t', chunk_time_interval => interval '90 days', migrate_data => true);\n        PERFORM "
        "create_hypertable('days', 't', chunk_time_interval => interval '3650 days', "
        "migrate_data => true);\n    END IF;\nEND\n$$;\n";
    return sql;
}

}  // namespace

const std::vector<std::string>& fleetPeriodColumns() {
    static const std::vector<std::string> columns = [] {
        std::vector<std::string> c;
        for (const archive::Quantity& q : archive::archiveQuantities()) c.emplace_back(q.column);
        return c;
    }();
    return columns;
}

std::string migrationSql(int fromVersion) {
    std::string sql;
    if (fromVersion == 0) sql = version1();
    if (sql.empty()) return sql;
    return sql + "INSERT INTO " + kSchemaVersionTable + " (version) VALUES (" +
           std::to_string(fromVersion + 1) + ");\n";
}

std::string fleetSchemaSql() {
    std::string sql =
        "-- The TEV3P fleet database, schema version " + std::to_string(kFleetSchemaVersion) +
        ".\n-- Recorders create it themselves where they may; otherwise the owner runs "
        "this once\n-- and grants the recorders' role what they need (below).\n"
        "BEGIN;\n";
    for (int v = 0; v < kFleetSchemaVersion; ++v) sql += migrationSql(v);
    sql += "COMMIT;\n";
    sql += std::string("-- GRANT SELECT, INSERT, UPDATE ON ") + kSchemaVersionTable +
           ", meters, minutes, hours, days, alerts TO tev3p;\n";
    return sql;
}

SchemaAction schemaAction(std::optional<int> found) {
    if (!found) return SchemaAction::Create;
    if (*found > kFleetSchemaVersion) return SchemaAction::Refuse;
    if (*found < kFleetSchemaVersion) return SchemaAction::Migrate;
    return SchemaAction::Current;
}

std::string newerSchemaLine(const std::string& where, int found) {
    return "Fleet: the database " + where + " has schema version " + std::to_string(found) +
           ", newer than this program's " + std::to_string(kFleetSchemaVersion) +
           ": nothing is written to it; the rows wait in the archive";
}

}  // namespace tev::fleet
