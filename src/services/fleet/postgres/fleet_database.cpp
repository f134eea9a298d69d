#include "services/fleet/postgres/fleet_database.h"

#include <algorithm>

#include "services/fleet/rules/fleet_schema.h"
#include "services/fleet/rules/row_batch.h"

namespace tev::fleet {
namespace {

// A statement that hangs (a lock held elsewhere, a server in trouble) ends and counts as a
// failed batch rather than holding the shipper.
constexpr const char* kSessionSettings = "SET statement_timeout = '120s'";
// A row whose key the table already holds.
constexpr const char* kUniqueViolation = "23505";

}  // namespace

FleetDatabase::Schema FleetDatabase::ensureSchema(int& found, std::string& error) {
    found = 0;
    if (!db_.run("BEGIN", error)) return Schema::Failed;
    bool ok =
        db_.run("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLockKey) + ")", error);
    std::optional<int> version;
    if (ok) {
        const PgResult exists =
            db_.exec(std::string("SELECT to_regclass('") + kSchemaVersionTable + "') IS NOT NULL");
        ok = exists.ok() && exists.rows() == 1;
        if (!ok) error = exists.error();
        if (ok && exists.text(0, 0) == "t") {
            const PgResult v = db_.exec(std::string("SELECT coalesce(max(version), 0) FROM ") +
                                        kSchemaVersionTable);
            ok = v.ok() && v.rows() == 1;
            if (ok)
                version = std::stoi(v.text(0, 0));
            else
                error = v.error();
        }
    }
    Schema result = Schema::Failed;
    if (ok) {
        switch (schemaAction(version)) {
            case SchemaAction::Refuse:
                found = *version;
                db_.run("ROLLBACK", error);
                error.clear();
                return Schema::Newer;
            case SchemaAction::Current:
                result = Schema::Ready;
                break;
            case SchemaAction::Create:
            case SchemaAction::Migrate:
                for (int v = version.value_or(0); ok && v < kFleetSchemaVersion; ++v)
                    ok = db_.run(migrationSql(v), error);
                result = Schema::Ready;
                break;
        }
    }
    if (ok && db_.run("COMMIT", error)) return result;
    std::string ignored;
    db_.run("ROLLBACK", ignored);
    return Schema::Failed;
}

bool FleetDatabase::prepareSession(std::string& error) {
    if (!db_.run(kSessionSettings, error)) return false;
    for (archive::OutboxTable t : archive::kOutboxTables)
        if (!db_.run(createStagingSql(t), error)) return false;
    return true;
}

bool FleetDatabase::inTransaction(const std::string& copySql, const std::string& data,
                                  const std::string& upsertSql, std::string& error) {
    if (!db_.run("BEGIN", error)) return false;
    if (db_.copyIn(copySql, data, error) && db_.run(upsertSql, error) && db_.run("COMMIT", error))
        return true;
    std::string ignored;
    db_.run("ROLLBACK", ignored);
    return false;
}

bool FleetDatabase::shipPeriods(archive::OutboxTable table, const std::string& site,
                                const std::vector<archive::PeriodRow>& rows, std::string& error) {
    buffer_.clear();
    appendBinaryCopyRows(buffer_, site, rows);
    return shipPeriodData(table, buffer_, error);
}

bool FleetDatabase::shipPeriodData(archive::OutboxTable table, const std::string& data,
                                   std::string& error) {
    if (data.empty()) return true;
    return inTransaction(copyIntoStagingSql(table), data, upsertFromStagingSql(table), error);
}

bool FleetDatabase::shipNewPeriods(archive::OutboxTable table, const std::string& site,
                                   const std::vector<archive::PeriodRow>& rows, bool& straight,
                                   std::string& error) {
    buffer_.clear();
    appendBinaryCopyRows(buffer_, site, rows);
    return shipNewPeriodData(table, buffer_, straight, error);
}

bool FleetDatabase::shipNewPeriodData(archive::OutboxTable table, const std::string& data,
                                      bool& straight, std::string& error) {
    straight = true;
    if (data.empty()) return true;
    std::string state;
    if (db_.copyIn(copyIntoTableSql(table), data, error, &state)) return true;
    if (state != kUniqueViolation) return false;
    straight = false;
    error.clear();
    return shipPeriodData(table, data, error);
}

bool FleetDatabase::shipAlerts(const std::string& site, const std::vector<archive::AlertRow>& rows,
                               std::string& error) {
    if (rows.empty()) return true;
    buffer_.clear();
    appendCopyRows(buffer_, site, rows);
    return inTransaction(copyIntoStagingSql(archive::OutboxTable::Alerts), buffer_,
                         upsertFromStagingSql(archive::OutboxTable::Alerts), error);
}

bool FleetDatabase::shipMeters(const std::string& site,
                               const std::vector<archive::MeterRow>& meters, std::string& error) {
    if (meters.empty()) return true;
    if (!db_.run("BEGIN", error)) return false;
    bool ok = true;
    const std::string sql = upsertMeterSql();
    for (std::size_t i = 0; ok && i < meters.size(); ++i)
        ok = runParams(sql, {site, databaseKey(meters[i].id), utcTimestamp(meters[i].firstSeen)},
                       error);
    if (ok && db_.run("COMMIT", error)) return true;
    std::string ignored;
    db_.run("ROLLBACK", ignored);
    return false;
}

bool FleetDatabase::runParams(const std::string& sql, const std::vector<std::string>& parameters,
                              std::string& error) {
    const PgResult r = db_.execParams(sql, parameters);
    if (r.ok()) return true;
    error = r.error();
    if (error.empty()) error = db_.lastError();
    return false;
}

bool FleetDatabase::heldRows(archive::OutboxTable table, const std::string& site, std::int64_t from,
                             std::int64_t to, std::vector<archive::MeterRows>& out,
                             std::string& error) {
    out.clear();
    std::vector<std::string> parameters = {site, std::to_string(from)};
    if (table != archive::OutboxTable::Alerts) parameters.push_back(std::to_string(to));
    const PgResult r = db_.execParams(heldRowsSql(table), parameters);
    if (!r.ok()) {
        error = r.error();
        if (error.empty()) error = db_.lastError();
        return false;
    }
    for (int i = 0; i < r.rows(); ++i) {
        const std::int64_t last = std::stoll(r.text(i, 2));
        out.push_back({r.text(i, 0), std::stoll(r.text(i, 1)), last, last});
    }
    return true;
}

bool FleetDatabase::latestRow(archive::OutboxTable table, const std::string& site,
                              std::optional<std::int64_t>& latest, std::string& error) {
    latest.reset();
    const PgResult r = db_.execParams(latestRowSql(table), {site});
    if (!r.ok() || r.rows() != 1) {
        error = r.answered() ? r.error() : db_.lastError();
        if (error.empty()) error = db_.lastError();
        return false;
    }
    if (!r.isNull(0, 0)) latest = std::stoll(r.text(0, 0));
    return true;
}

bool FleetDatabase::insertPeriods(archive::OutboxTable table, const std::string& site,
                                  const std::vector<archive::PeriodRow>& rows, std::string& error) {
    for (std::size_t at = 0; at < rows.size(); at += kInsertRowsAtOnce) {
        const std::vector<archive::PeriodRow> part(
            rows.begin() + static_cast<std::ptrdiff_t>(at),
            rows.begin() +
                static_cast<std::ptrdiff_t>(std::min(rows.size(), at + kInsertRowsAtOnce)));
        const ParameterStatement st = insertRowsStatement(table, site, part);
        if (!runParams(st.sql, st.parameters, error)) return false;
    }
    return true;
}

}  // namespace tev::fleet
