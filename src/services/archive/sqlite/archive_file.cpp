#include "services/archive/sqlite/archive_file.h"

#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <system_error>

#include "services/archive/rules/series.h"

namespace tev::archive {
namespace {

namespace fs = std::filesystem;

std::string periodTable(const std::string& name) {
    std::string sql =
        "CREATE TABLE " + name + " (meter TEXT NOT NULL, t INTEGER NOT NULL, n INTEGER NOT NULL";
    for (const std::string& c : periodColumns())
        if (c != "n") sql += ", " + c + " REAL";
    sql += ", PRIMARY KEY (meter, t)) WITHOUT ROWID;\n";
    return sql;
}

// Version 1: the meters, their minute, hour and day rows, and the ten-minute energies taken
// from the day files.
std::string schemaVersion1() {
    std::string sql =
        "CREATE TABLE meters (id TEXT PRIMARY KEY, first_seen INTEGER NOT NULL, "
        "day_file_imported INTEGER NOT NULL DEFAULT 0);\n";
    sql += periodTable("minutes") + periodTable("hours") + periodTable("days");
    sql +=
        "CREATE TABLE ten_minutes (meter TEXT NOT NULL, t INTEGER NOT NULL, day_kwh REAL, "
        "kwh REAL, PRIMARY KEY (meter, t)) WITHOUT ROWID;\n";
    return sql;
}

// Version 2: each alert start and end, so the dashboard's alert history outlives the program.
std::string schemaVersion2() {
    return "CREATE TABLE alerts (t_ms INTEGER NOT NULL, meter TEXT NOT NULL, rule TEXT NOT NULL, "
           "phase INTEGER NOT NULL, event TEXT NOT NULL, value REAL, threshold REAL);\n"
           "CREATE INDEX alerts_by_time ON alerts (t_ms);\n";
}

// Step i brings a file from user_version i to i + 1.
const std::vector<std::function<std::string()>>& migrationSteps() {
    static const std::vector<std::function<std::string()>> steps = {schemaVersion1, schemaVersion2};
    return steps;
}

bool isDamage(int rc) {
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

std::string damagedName(const std::string& path) {
    std::string candidate = path + kDamagedSuffix;
    for (int i = 2; fs::exists(candidate) && i < 1000; ++i)
        candidate = path + kDamagedSuffix + "." + std::to_string(i);
    return candidate;
}

std::string fileName(const std::string& path) {
    return fs::path(path).filename().string();
}

}  // namespace

std::string archivePath(const std::string& folder) {
    return (fs::path(folder) / kArchiveFileName).string();
}

const std::vector<std::string>& periodColumns() {
    static const std::vector<std::string> columns = [] {
        std::vector<std::string> c;
        for (const Quantity& q : archiveQuantities()) c.emplace_back(q.column);
        return c;
    }();
    return columns;
}

bool migrateArchive(SqliteDb& db, std::string& error) {
    const int version = std::atoi(queryText(db, "PRAGMA user_version").c_str());
    if (version > kArchiveSchemaVersion) {
        error = "it was written by a newer program (schema " + std::to_string(version) + ")";
        return false;
    }
    const auto& steps = migrationSteps();
    for (int v = version; v < kArchiveSchemaVersion; ++v) {
        const std::string sql = "BEGIN IMMEDIATE;\n" + steps[v]() +
                                "PRAGMA user_version = " + std::to_string(v + 1) + ";\nCOMMIT;";
        if (db.exec(sql) != SQLITE_OK) {
            error = db.error();
            db.exec("ROLLBACK");
            return false;
        }
    }
    return true;
}

SqliteDb openArchiveForWriting(const std::string& path, std::vector<std::string>& log) {
    const std::string name = fileName(path);
    SqliteDb db;
    std::string damage;
    if (fs::exists(path)) {
        int rc = db.open(path, false, false);
        if (rc == SQLITE_OK) {
            const std::string check = queryText(db, "PRAGMA quick_check");
            if (check != "ok") {
                damage = check.empty() ? db.error() : check;
                if (damage.empty()) damage = "not a database";
            }
        } else if (isDamage(rc)) {
            damage = db.error();
        }
        if (rc != SQLITE_OK && damage.empty()) {
            log.push_back("Archive " + name + " cannot be opened: " + db.error());
            return {};
        }
    }
    if (!damage.empty()) {
        db.close();
        const std::string aside = damagedName(path);
        std::error_code ec;
        fs::rename(path, aside, ec);
        if (ec) {
            log.push_back("Archive " + name + " is damaged (" + damage +
                          ") and cannot be moved aside: " + ec.message());
            return {};
        }
        // The journal files belong to the damaged file, never to the new one.
        for (const char* suffix : {"-wal", "-shm"}) {
            std::error_code ignored;
            if (fs::exists(path + suffix, ignored))
                fs::rename(path + suffix, aside + suffix, ignored);
        }
        log.push_back("Archive " + name + " was damaged (" + damage + "): kept as " +
                      fileName(aside) + ", a new archive started");
    }
    if (!db.isOpen() && db.open(path, false, true) != SQLITE_OK) {
        log.push_back("Archive " + name + " cannot be created: " + db.error());
        return {};
    }
    std::string error;
    if (db.exec("PRAGMA journal_mode=WAL") != SQLITE_OK ||
        db.exec("PRAGMA synchronous=NORMAL") != SQLITE_OK || !migrateArchive(db, error)) {
        log.push_back("Archive " + name +
                      " cannot be used: " + (error.empty() ? db.error() : error));
        return {};
    }
    return db;
}

}  // namespace tev::archive
