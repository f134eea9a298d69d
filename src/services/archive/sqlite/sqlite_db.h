#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "services/archive/rules/read_stop.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tev::archive {

// An open SQLite connection, closed when it goes out of scope.
class SqliteDb {
  public:
    SqliteDb() = default;
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;
    SqliteDb(SqliteDb&& other) noexcept : db_(other.db_) { other.db_ = nullptr; }
    SqliteDb& operator=(SqliteDb&& other) noexcept;

    // Opens (and with `create`, creates) the file; read-only when `readOnly`. Returns the
    // SQLite result code; on failure the connection stays closed and `error()` says why.
    int open(const std::string& path, bool readOnly, bool create);
    void close();
    bool isOpen() const { return db_ != nullptr; }
    sqlite3* handle() const { return db_; }

    // From now on a statement running while `stop` says so is interrupted (SQLITE_INTERRUPT);
    // nullptr: never. `stop` must outlive the connection or the next call.
    void interruptWhen(const ReadStop* stop);

    // Runs statements without results; returns the SQLite result code.
    int exec(std::string_view sql);
    const std::string& error() const { return error_; }
    int changes() const;

  private:
    sqlite3* db_ = nullptr;
    std::string error_;
};

// A prepared statement, finalized when it goes out of scope.
class SqliteStatement {
  public:
    SqliteStatement() = default;
    SqliteStatement(SqliteDb& db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;

    bool valid() const { return stmt_ != nullptr; }
    void bind(int index, std::int64_t value);
    void bind(int index, double value);
    void bind(int index, std::string_view text);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    void reset();
    std::int64_t columnInt(int column) const;
    double columnDouble(int column) const;
    bool columnIsNull(int column) const;
    std::string columnText(int column) const;

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int prepareResult_ = 0;
};

// The first column of the first row of a query, as text; empty when there is none.
std::string queryText(SqliteDb& db, std::string_view sql);

}  // namespace tev::archive
