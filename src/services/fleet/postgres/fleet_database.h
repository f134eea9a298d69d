#pragma once

#include <cstdint>
#include <optional>
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
    // Rows that are all newer than any row of the site the table holds: one COPY straight into
    // the table, a transaction of its own, without the staging table and the upsert. A row
    // already there (another recorder given the same site, or one the shipper did not know of)
    // fails that COPY as a whole, and the batch goes again the way of shipPeriods. `straight`
    // says which way the rows went in.
    bool shipNewPeriods(archive::OutboxTable table, const std::string& site,
                        const std::vector<archive::PeriodRow>& rows, bool& straight,
                        std::string& error);
    // The same two with the rows already in COPY data (appendBinaryCopyRows); `data` empty:
    // nothing to ship.
    bool shipPeriodData(archive::OutboxTable table, const std::string& data, std::string& error);
    bool shipNewPeriodData(archive::OutboxTable table, const std::string& data, bool& straight,
                           std::string& error);
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

    // The latest period start (Unix seconds) of the site's rows in a minute, hour or day table
    // among the site's meters; nothing when it holds none.
    bool latestRow(archive::OutboxTable table, const std::string& site,
                   std::optional<std::int64_t>& latest, std::string& error);

  private:
    bool runParams(const std::string& sql, const std::vector<std::string>& parameters,
                   std::string& error);

    bool inTransaction(const std::string& copySql, const std::string& data,
                       const std::string& upsertSql, std::string& error);

    PgConnection& db_;
    std::string buffer_;
};

}  // namespace tev::fleet
