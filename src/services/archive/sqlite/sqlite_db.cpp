#include "services/archive/sqlite/sqlite_db.h"

#include <sqlite3.h>

namespace tev::archive {

SqliteDb::~SqliteDb() {
    close();
}

SqliteDb& SqliteDb::operator=(SqliteDb&& other) noexcept {
    if (this != &other) {
        close();
        db_ = other.db_;
        other.db_ = nullptr;
    }
    return *this;
}

int SqliteDb::open(const std::string& path, bool readOnly, bool create) {
    close();
    int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (create && !readOnly) flags |= SQLITE_OPEN_CREATE;
    // Each connection is used by one thread at a time.
    flags |= SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        error_ = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        close();
        return rc;
    }
    sqlite3_extended_result_codes(db_, 0);
    // A reader meeting the writer's commit waits briefly instead of failing.
    sqlite3_busy_timeout(db_, 2000);
    return rc;
}

namespace {

// SQLite calls this every so many virtual machine steps; non-zero interrupts the statement.
int stopRequested(void* stop) {
    return static_cast<const ReadStop*>(stop)->stopped() ? 1 : 0;
}

// Steps between two looks at the stop: a look reads the clock, a few tens of nanoseconds,
// while a thousand steps take tens of microseconds.
constexpr int kStepsPerStopLook = 1000;

}  // namespace

void SqliteDb::interruptWhen(const ReadStop* stop) {
    if (db_ == nullptr) return;
    if (stop == nullptr)
        sqlite3_progress_handler(db_, 0, nullptr, nullptr);
    else
        sqlite3_progress_handler(db_, kStepsPerStopLook, stopRequested,
                                 const_cast<ReadStop*>(stop));
}

void SqliteDb::close() {
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
}

int SqliteDb::exec(std::string_view sql) {
    if (db_ == nullptr) return SQLITE_MISUSE;
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) error_ = message != nullptr ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    return rc;
}

int SqliteDb::changes() const {
    return db_ != nullptr ? sqlite3_changes(db_) : 0;
}

SqliteStatement::SqliteStatement(SqliteDb& db, std::string_view sql) {
    if (db.handle() == nullptr) {
        prepareResult_ = SQLITE_MISUSE;
        return;
    }
    prepareResult_ =
        sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (prepareResult_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : stmt_(other.stmt_), prepareResult_(other.prepareResult_) {
    other.stmt_ = nullptr;
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = other.stmt_;
        prepareResult_ = other.prepareResult_;
        other.stmt_ = nullptr;
    }
    return *this;
}

void SqliteStatement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
}
void SqliteStatement::bind(int index, double value) {
    sqlite3_bind_double(stmt_, index, value);
}
void SqliteStatement::bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

int SqliteStatement::step() {
    return stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_MISUSE;
}

void SqliteStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t SqliteStatement::columnInt(int column) const {
    return sqlite3_column_int64(stmt_, column);
}
double SqliteStatement::columnDouble(int column) const {
    return sqlite3_column_double(stmt_, column);
}
bool SqliteStatement::columnIsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}
std::string SqliteStatement::columnText(int column) const {
    const unsigned char* t = sqlite3_column_text(stmt_, column);
    return t != nullptr ? std::string(reinterpret_cast<const char*>(t)) : std::string();
}

std::string queryText(SqliteDb& db, std::string_view sql) {
    SqliteStatement s(db, sql);
    if (s.step() != SQLITE_ROW) return {};
    return s.columnText(0);
}

}  // namespace tev::archive
