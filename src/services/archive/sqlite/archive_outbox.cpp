#include "services/archive/sqlite/archive_outbox.h"

#include <sqlite3.h>

#include <cmath>
#include <filesystem>

#include "services/archive/sqlite/archive_file.h"

namespace tev::archive {
namespace {

// How long moving the marks by hand waits for the recorder's writer to end a transaction.
constexpr int kShipAgainWaitMs = 10000;

bool outboxExists(SqliteDb& db) {
    return !queryText(db, std::string("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                      "name = '") +
                              kOutboxMarksTable + "'")
                .empty();
}

std::string failure(SqliteDb& db) {
    return std::string(kArchiveFileName) + ": " + sqlite3_errmsg(db.handle());
}

// Rows of a period table with from <= t < to, meter by meter through the key (meter, t): the
// tables have no index on t alone, and the meters are few.
std::int64_t countBetween(SqliteDb& db, const char* table, std::int64_t from, std::int64_t to,
                          bool& ok) {
    SqliteStatement s(db, std::string("SELECT total((SELECT count(*) FROM ") + table +
                              " WHERE meter = meters.id AND t >= ?1 AND t < ?2)) FROM meters");
    s.bind(1, from);
    s.bind(2, to);
    ok = s.step() == SQLITE_ROW;
    return ok ? static_cast<std::int64_t>(s.columnDouble(0)) : 0;
}

class SqliteArchiveOutbox final : public ArchiveOutbox {
  public:
    SqliteArchiveOutbox(SqliteDb read, SqliteDb write)
        : read_(std::move(read)), write_(std::move(write)) {
        for (const std::string& c : periodColumns()) columns_ += ", p." + c;
    }

    bool loadMarks(std::array<OutboxMark, 4>& marks, std::string& error) override {
        SqliteStatement s(write_, std::string("SELECT shipped_through, lost, lost_told FROM ") +
                                      kOutboxMarksTable + " WHERE tbl = ?");
        for (std::size_t i = 0; i < kOutboxTables.size(); ++i) {
            s.reset();
            s.bind(1, std::string_view(outboxTableName(kOutboxTables[i])));
            const int rc = s.step();
            if (rc == SQLITE_ROW) {
                marks[i] = {s.columnInt(0), s.columnInt(1), s.columnInt(2)};
            } else if (rc == SQLITE_DONE) {
                marks[i] = {};
            } else {
                error = failure(write_);
                return false;
            }
        }
        return true;
    }

    bool moveMark(OutboxTable table, std::int64_t expected, std::int64_t mark,
                  std::int64_t lostChange, std::optional<std::int64_t>& found,
                  std::string& error) override {
        found.reset();
        if (write_.exec("BEGIN IMMEDIATE") != SQLITE_OK) {
            error = failure(write_);
            return false;
        }
        const std::string_view name = outboxTableName(table);
        SqliteStatement now(write_, std::string("SELECT shipped_through FROM ") +
                                        kOutboxMarksTable + " WHERE tbl = ?");
        now.bind(1, name);
        bool ok = now.step() == SQLITE_ROW;
        if (ok && now.columnInt(0) != expected) {
            found = now.columnInt(0);
        } else if (ok) {
            SqliteStatement set(write_, std::string("UPDATE ") + kOutboxMarksTable +
                                            " SET shipped_through = ?, lost = max(0, lost + ?) "
                                            "WHERE tbl = ?");
            set.bind(1, mark);
            set.bind(2, lostChange);
            set.bind(3, name);
            ok = set.step() == SQLITE_DONE;
        }
        if (!ok) error = failure(write_);
        if (ok && write_.exec("COMMIT") == SQLITE_OK) return true;
        if (error.empty()) error = failure(write_);
        write_.exec("ROLLBACK");
        return false;
    }

    bool setLostTold(OutboxTable table, std::int64_t told, std::string& error) override {
        SqliteStatement s(write_, std::string("UPDATE ") + kOutboxMarksTable +
                                      " SET lost_told = ? WHERE tbl = ?");
        s.bind(1, told);
        s.bind(2, std::string_view(outboxTableName(table)));
        if (s.step() == SQLITE_DONE) return true;
        error = failure(write_);
        return false;
    }

    bool meters(std::vector<MeterRow>& out, std::string& error) override {
        out.clear();
        SqliteStatement s(read_, "SELECT id, first_seen FROM meters ORDER BY id");
        int rc = 0;
        while ((rc = s.step()) == SQLITE_ROW) out.push_back({s.columnText(0), s.columnInt(1)});
        if (rc == SQLITE_DONE) return true;
        error = failure(read_);
        return false;
    }

    bool firstPeriodFrom(OutboxTable table, std::int64_t from, std::optional<std::int64_t>& first,
                         std::string& error) override {
        first.reset();
        SqliteStatement s(read_, std::string("SELECT min((SELECT min(t) FROM ") +
                                     outboxTableName(table) +
                                     " WHERE meter = meters.id AND t >= ?)) FROM meters");
        s.bind(1, from);
        if (s.step() != SQLITE_ROW) {
            error = failure(read_);
            return false;
        }
        if (!s.columnIsNull(0)) first = s.columnInt(0);
        return true;
    }

    bool periodRows(OutboxTable table, std::int64_t from, std::int64_t to,
                    std::vector<PeriodRow>& out, std::string& error) override {
        out.clear();
        // CROSS JOIN keeps the meters as the outer loop, so each meter's rows are one range of
        // the key (meter, t).
        SqliteStatement s(read_, "SELECT p.meter, p.t" + columns_ + " FROM meters CROSS JOIN " +
                                     outboxTableName(table) +
                                     " AS p ON p.meter = meters.id WHERE p.t >= ? AND p.t < ?");
        s.bind(1, from);
        s.bind(2, to);
        int rc = 0;
        while ((rc = s.step()) == SQLITE_ROW) {
            PeriodRow& row = out.emplace_back();
            row.meter = s.columnText(0);
            row.t = s.columnInt(1);
            for (std::size_t i = 0; i < kPeriodValueCount; ++i) {
                const int c = static_cast<int>(i) + 2;
                row.values[i] = s.columnIsNull(c) ? NAN : s.columnDouble(c);
            }
        }
        if (rc == SQLITE_DONE) return true;
        error = failure(read_);
        return false;
    }

    bool alertRows(std::int64_t afterSeq, int limit, std::vector<AlertRow>& out,
                   std::string& error) override {
        out.clear();
        SqliteStatement s(read_,
                          "SELECT rowid, t_ms, meter, rule, phase, event, value, threshold FROM "
                          "alerts WHERE rowid > ? ORDER BY rowid LIMIT ?");
        s.bind(1, afterSeq);
        s.bind(2, static_cast<std::int64_t>(limit));
        int rc = 0;
        while ((rc = s.step()) == SQLITE_ROW)
            out.push_back({s.columnInt(0), s.columnInt(1), s.columnText(2), s.columnText(3),
                           static_cast<int>(s.columnInt(4)), s.columnText(5),
                           s.columnIsNull(6) ? NAN : s.columnDouble(6),
                           s.columnIsNull(7) ? NAN : s.columnDouble(7)});
        if (rc == SQLITE_DONE) return true;
        error = failure(read_);
        return false;
    }

    bool rowsBefore(OutboxTable table, std::int64_t mark, std::vector<MeterRows>& out,
                    std::string& error) override {
        out.clear();
        SqliteStatement s(read_,
                          table == OutboxTable::Alerts
                              ? std::string("SELECT meter, count(*), min(t_ms), max(t_ms) FROM "
                                            "alerts WHERE rowid <= ? GROUP BY meter")
                              : std::string("SELECT meter, count(*), min(t), max(t) FROM ") +
                                    outboxTableName(table) + " WHERE t < ? GROUP BY meter");
        s.bind(1, mark);
        int rc = 0;
        while ((rc = s.step()) == SQLITE_ROW)
            out.push_back({s.columnText(0), s.columnInt(1), s.columnInt(2), s.columnInt(3)});
        if (rc == SQLITE_DONE) return true;
        error = failure(read_);
        return false;
    }

    bool countFrom(OutboxTable table, std::int64_t mark, std::int64_t& count,
                   std::string& error) override {
        bool ok = true;
        if (table == OutboxTable::Alerts) {
            SqliteStatement s(read_, "SELECT count(*) FROM alerts WHERE rowid > ?");
            s.bind(1, mark);
            ok = s.step() == SQLITE_ROW;
            count = ok ? s.columnInt(0) : 0;
        } else {
            count = countBetween(read_, outboxTableName(table), mark, INT64_MAX, ok);
        }
        if (!ok) error = failure(read_);
        return ok;
    }

  private:
    SqliteDb read_;
    SqliteDb write_;
    std::string columns_;  // ", p.v1_mean, …": the values in the outbox's order
};

}  // namespace

std::unique_ptr<ArchiveOutbox> openArchiveOutbox(const std::string& folder, std::string& error) {
    const std::string path = archivePath(folder);
    if (!std::filesystem::exists(path)) {
        error = std::string(kArchiveFileName) + " is not in " + folder;
        return nullptr;
    }
    if (periodColumns().size() != kPeriodValueCount) {
        error = "the archive's columns are not the outbox's";
        return nullptr;
    }
    SqliteDb write;
    if (write.open(path, false, false) != SQLITE_OK) {
        error = std::string(kArchiveFileName) + ": " + write.error();
        return nullptr;
    }
    const std::string create =
        std::string("BEGIN IMMEDIATE;\nCREATE TABLE IF NOT EXISTS ") + kOutboxMarksTable +
        " (tbl TEXT PRIMARY KEY, shipped_through INTEGER NOT NULL DEFAULT 0, lost INTEGER NOT "
        "NULL DEFAULT 0, lost_told INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID;\nINSERT OR IGNORE "
        "INTO " +
        kOutboxMarksTable + " (tbl) VALUES ('minutes'), ('hours'), ('days'), ('alerts');\nCOMMIT;";
    if (write.exec(create) != SQLITE_OK) {
        error = std::string(kArchiveFileName) + ": " + write.error();
        write.exec("ROLLBACK");
        return nullptr;
    }
    SqliteDb read;
    if (read.open(path, true, false) != SQLITE_OK) {
        error = std::string(kArchiveFileName) + ": " + read.error();
        return nullptr;
    }
    return std::make_unique<SqliteArchiveOutbox>(std::move(read), std::move(write));
}

bool countUnshippedBeforePrune(SqliteDb& db, const RetentionCutoffs& cut, std::string& error) {
    if (!outboxExists(db)) return true;
    if (db.exec("BEGIN IMMEDIATE") != SQLITE_OK) {
        error = db.error();
        return false;
    }
    const std::pair<const char*, std::int64_t> targets[] = {{"minutes", cut.minute},
                                                            {"hours", cut.hour}};
    bool ok = true;
    for (const auto& [table, before] : targets) {
        SqliteStatement mark(
            db, std::string("SELECT shipped_through FROM ") + kOutboxMarksTable + " WHERE tbl = ?");
        mark.bind(1, std::string_view(table));
        const int rc = mark.step();
        if (rc == SQLITE_DONE) continue;
        ok = rc == SQLITE_ROW;
        if (!ok) break;
        const std::int64_t from = mark.columnInt(0);
        if (from >= before) continue;
        const std::int64_t lost = countBetween(db, table, from, before, ok);
        if (!ok) break;
        SqliteStatement move(db, std::string("UPDATE ") + kOutboxMarksTable +
                                     " SET shipped_through = ?, lost = lost + ? WHERE tbl = ?");
        move.bind(1, before);
        move.bind(2, lost);
        move.bind(3, std::string_view(table));
        ok = move.step() == SQLITE_DONE;
        if (!ok) break;
    }
    if (!ok) error = sqlite3_errmsg(db.handle());
    if (ok && db.exec("COMMIT") == SQLITE_OK) return true;
    if (error.empty()) error = db.error();
    db.exec("ROLLBACK");
    return false;
}

bool reshipFrom(SqliteDb& db, OutboxTable table, std::int64_t from) {
    if (!outboxExists(db)) return true;
    SqliteStatement back(db, std::string("UPDATE ") + kOutboxMarksTable +
                                 " SET shipped_through = min(shipped_through, ?) WHERE tbl = ?");
    back.bind(1, from);
    back.bind(2, std::string_view(outboxTableName(table)));
    return back.step() == SQLITE_DONE;
}

namespace {

// The rows of `table` shipped before `mark` that a mark moved back to `from` ships again, and
// where that mark goes; the mark stays where it is when it is already there or before.
struct MarkBack {
    std::int64_t mark = 0;
    std::int64_t rows = 0;
};

bool periodMarkBack(SqliteDb& db, const char* table, std::int64_t mark, std::int64_t from,
                    MarkBack& back) {
    back = {mark, 0};
    if (mark <= from) return true;
    bool ok = true;
    back = {from, countBetween(db, table, from, mark, ok)};
    return ok;
}

// Alerts are marked by their rowid, and only ever appended: the mark goes to the rowid before
// the first alert at or after `from`.
bool alertMarkBack(SqliteDb& db, std::int64_t mark, std::int64_t from, MarkBack& back) {
    back = {mark, 0};
    SqliteStatement first(db, "SELECT min(rowid) FROM alerts WHERE t_ms >= ?");
    first.bind(1, from * 1000);
    if (first.step() != SQLITE_ROW) return false;
    if (first.columnIsNull(0) || first.columnInt(0) - 1 >= mark) return true;
    back.mark = first.columnInt(0) - 1;
    SqliteStatement count(db, "SELECT count(*) FROM alerts WHERE rowid > ? AND rowid <= ?");
    count.bind(1, back.mark);
    count.bind(2, mark);
    if (count.step() != SQLITE_ROW) return false;
    back.rows = count.columnInt(0);
    return true;
}

bool moveMarksBack(SqliteDb& db, std::int64_t from, std::array<std::int64_t, 4>& again) {
    for (std::size_t i = 0; i < kOutboxTables.size(); ++i) {
        const OutboxTable table = kOutboxTables[i];
        const std::string_view name = outboxTableName(table);
        SqliteStatement now(
            db, std::string("SELECT shipped_through FROM ") + kOutboxMarksTable + " WHERE tbl = ?");
        now.bind(1, name);
        const int rc = now.step();
        if (rc == SQLITE_DONE) continue;
        if (rc != SQLITE_ROW) return false;
        MarkBack back;
        if (!(table == OutboxTable::Alerts
                  ? alertMarkBack(db, now.columnInt(0), from, back)
                  : periodMarkBack(db, outboxTableName(table), now.columnInt(0), from, back)))
            return false;
        SqliteStatement set(db, std::string("UPDATE ") + kOutboxMarksTable +
                                    " SET shipped_through = min(shipped_through, ?) WHERE tbl = ?");
        set.bind(1, back.mark);
        set.bind(2, name);
        if (set.step() != SQLITE_DONE) return false;
        again[i] = back.rows;
    }
    return true;
}

}  // namespace

ShipAgain shipAgainFrom(const std::string& folder, std::int64_t from,
                        std::array<std::int64_t, 4>& again, std::string& error) {
    again = {};
    const std::string path = archivePath(folder);
    if (!std::filesystem::exists(path)) {
        error = std::string(kArchiveFileName) + " is not in " + folder;
        return ShipAgain::Unusable;
    }
    SqliteDb db;
    if (db.open(path, false, false) != SQLITE_OK) {
        error = std::string(kArchiveFileName) + ": " + db.error();
        return ShipAgain::Unusable;
    }
    sqlite3_busy_timeout(db.handle(), kShipAgainWaitMs);
    {
        SqliteStatement marks(db,
                              "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                              "name = ?");
        marks.bind(1, std::string_view(kOutboxMarksTable));
        if (marks.step() != SQLITE_ROW) {
            error = failure(db);
            return ShipAgain::Unusable;
        }
        if (marks.columnInt(0) == 0) {
            error = std::string(kArchiveFileName) + " in " + folder +
                    " has never shipped to a fleet database (it has no outbox marks)";
            return ShipAgain::NeverShipped;
        }
    }
    if (db.exec("BEGIN IMMEDIATE") != SQLITE_OK) {
        error = std::string(kArchiveFileName) + ": " + db.error();
        return ShipAgain::Failed;
    }
    if (moveMarksBack(db, from, again) && db.exec("COMMIT") == SQLITE_OK) return ShipAgain::Moved;
    error = failure(db);
    db.exec("ROLLBACK");
    again = {};
    return ShipAgain::Failed;
}

}  // namespace tev::archive
