#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "services/archive/rules/outbox.h"
#include "services/archive/rules/retention.h"
#include "services/archive/sqlite/sqlite_db.h"

namespace tev::archive {

// The table of the outbox marks. It is created the first time a sink opens the outbox, never
// by the archive's schema: an archive nobody ships from has none, and older programs read the
// file as before.
inline constexpr const char* kOutboxMarksTable = "outbox";

// The outbox of the archive in `folder`, which must exist (the writer creates it at start):
// a read-only connection for the rows and one that writes only the marks. Null with `error`
// when the file cannot be opened.
std::unique_ptr<ArchiveOutbox> openArchiveOutbox(const std::string& folder, std::string& error);

// Called by the writer before retention deletes rows that start before the cut-offs: rows a
// sink has not shipped yet are counted as lost, and its marks move past them, in one
// transaction. Nothing happens in an archive without outbox marks. False when it could not be
// done; the rows must not be deleted then.
bool countUnshippedBeforePrune(SqliteDb& db, const RetentionCutoffs& cut, std::string& error);

// Called by the writer, in its transaction, when it added to rows a sink may have shipped in
// their final form already (the hours and days a silence's energy was spread over): the mark of
// `table` goes back to `from`, so the sink ships those rows again as they are now. Nothing
// happens in an archive without outbox marks. False when the file could not be written.
bool reshipFrom(SqliteDb& db, OutboxTable table, std::int64_t from);

// What moving the marks back by hand came to.
enum class ShipAgain {
    Moved,         // the marks are where they were asked to be (or were already before)
    Unusable,      // the archive is not there or cannot be read
    NeverShipped,  // the archive has no outbox marks: no sink ever shipped from it
    Failed         // the marks could not be written (the file stayed busy, a write error)
};

// Moves the outbox marks of the archive in `folder` back, never on, so that every minute, hour
// and day row starting at or after `from` (Unix seconds) and every alert at or after it are
// shipped again: the period marks go to `from`, the alerts' mark to the rowid before the first
// alert at or after it. It writes only the marks, in one short transaction that waits for the
// recorder's writer, so it runs while the recorder records; the running sink reads its marks
// every round and ships from where they now are. `again` holds, per table in the order of
// kOutboxTables, the rows the sink had shipped that it will ship again. `error` says why when
// the result is not Moved.
ShipAgain shipAgainFrom(const std::string& folder, std::int64_t from,
                        std::array<std::int64_t, 4>& again, std::string& error);

}  // namespace tev::archive
