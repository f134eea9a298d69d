#pragma once

#include <string>
#include <vector>

#include "services/archive/rules/outbox.h"
#include "services/fleet/postgres/pg_connection.h"

namespace tev::fleet {

// The fleet tables in one connection's database.
class FleetDatabase {
  public:
    explicit FleetDatabase(PgConnection& connection) : db_(connection) {}

    enum class Schema { Ready, Newer, Failed };
    // Creates or migrates the schema under an advisory lock, so that recorders starting
    // together do it once. Newer: the database belongs to a newer program (`found` holds its
    // version) and nothing was written.
    Schema ensureSchema(int& found, std::string& error);
    // The session's staging tables and settings; after every connect.
    bool prepareSession(std::string& error);

    // One batch in one transaction: COPY into the staging table, then the upsert.
    bool shipPeriods(archive::OutboxTable table, const std::string& site,
                     const std::vector<archive::PeriodRow>& rows, std::string& error);
    bool shipAlerts(const std::string& site, const std::vector<archive::AlertRow>& rows,
                    std::string& error);
    bool shipMeters(const std::string& site, const std::vector<archive::MeterRow>& meters,
                    std::string& error);
    // The same rows as one multi-row INSERT, for the comparison of the two ways.
    bool insertPeriods(archive::OutboxTable table, const std::string& site,
                       const std::vector<archive::PeriodRow>& rows, std::string& error);

    // The site's rows per meter, from `from` on and before `to` (alerts: from the time `from`
    // in milliseconds on, `to` unused).
    bool heldRows(archive::OutboxTable table, const std::string& site, std::int64_t from,
                  std::int64_t to, std::vector<archive::MeterRows>& out, std::string& error);

  private:
    bool runParams(const std::string& sql, const std::vector<std::string>& parameters,
                   std::string& error);

    bool inTransaction(const std::string& copySql, const std::string& data,
                       const std::string& upsertSql, std::string& error);

    PgConnection& db_;
    std::string buffer_;
};

}  // namespace tev::fleet
