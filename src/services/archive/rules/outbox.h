#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tev::archive {

// The archive is the outbox of a sink that copies its rows elsewhere (the fleet database): the
// rows wait in the file until the sink has them, and the sink's progress is kept in the file
// beside them, one mark per table.
enum class OutboxTable { Minutes, Hours, Days, Alerts };
inline constexpr std::array<OutboxTable, 4> kOutboxTables = {
    OutboxTable::Minutes, OutboxTable::Hours, OutboxTable::Days, OutboxTable::Alerts};
// The table's name in the archive (and in the fleet database).
const char* outboxTableName(OutboxTable table);

// The number of values of a minute, hour or day row: the archive's quantities, in their order.
inline constexpr std::size_t kPeriodValueCount = 25;

// One minute, hour or day row of one meter; a value the file holds as NULL is NaN.
struct PeriodRow {
    std::string meter;
    std::int64_t t = 0;  // period start, Unix seconds
    std::array<double, kPeriodValueCount> values{};
};

// One row of the alerts table, with its place in the table.
struct AlertRow {
    std::int64_t seq = 0;  // the row's rowid: alerts are only ever appended
    std::int64_t timeMs = 0;
    std::string meter;
    std::string rule;
    int phase = 0;
    std::string event;  // "start" or "end"
    double value = 0;
    double threshold = 0;
};

// Some rows of one meter: how many, and the earliest and latest period start (Unix seconds;
// alerts: their times in milliseconds).
struct MeterRows {
    std::string meter;
    std::int64_t count = 0;
    std::int64_t first = 0;
    std::int64_t last = 0;
};

struct MeterRow {
    std::string id;
    std::int64_t firstSeen = 0;
};

// How far a sink got with one table. Period tables: every row that starts before
// `shippedThrough` has been shipped in its final form (or was deleted by retention first, and
// counted in `lost`). Alerts: every row up to the rowid `shippedThrough`.
struct OutboxMark {
    std::int64_t shippedThrough = 0;
    std::int64_t lost = 0;      // rows retention deleted before they were shipped
    std::int64_t lostTold = 0;  // of those, how many the log has already told
};

// The archive's rows as a sink reads them, through connections of its own (one read-only for
// the rows, one for the marks), on the sink's thread. Every call returns false and sets `error`
// when the file cannot be read or written.
class ArchiveOutbox {
  public:
    virtual ~ArchiveOutbox() = default;

    // Every table's mark, in the order of kOutboxTables.
    virtual bool loadMarks(std::array<OutboxMark, 4>& marks, std::string& error) = 0;
    // Moves a table's mark from `expected` to `mark` and adds `lostChange` to its lost count,
    // unless the mark is no longer `expected` (retention moved it): then nothing changes and
    // `found` holds the mark as it is.
    virtual bool moveMark(OutboxTable table, std::int64_t expected, std::int64_t mark,
                          std::int64_t lostChange, std::optional<std::int64_t>& found,
                          std::string& error) = 0;
    virtual bool setLostTold(OutboxTable table, std::int64_t told, std::string& error) = 0;

    virtual bool meters(std::vector<MeterRow>& out, std::string& error) = 0;
    // The earliest period start at or after `from` of any meter; nothing when there is none.
    virtual bool firstPeriodFrom(OutboxTable table, std::int64_t from,
                                 std::optional<std::int64_t>& first, std::string& error) = 0;
    // Every meter's rows with from <= t < to.
    virtual bool periodRows(OutboxTable table, std::int64_t from, std::int64_t to,
                            std::vector<PeriodRow>& out, std::string& error) = 0;
    // Up to `limit` alerts after the rowid `afterSeq`, in their order.
    virtual bool alertRows(std::int64_t afterSeq, int limit, std::vector<AlertRow>& out,
                           std::string& error) = 0;
    // Per meter, the rows before `mark` (alerts: up to the rowid `mark`): those a sink shipped.
    virtual bool rowsBefore(OutboxTable table, std::int64_t mark, std::vector<MeterRows>& out,
                            std::string& error) = 0;
    // Rows from the mark on, per table: what still waits to be shipped.
    virtual bool countFrom(OutboxTable table, std::int64_t mark, std::int64_t& count,
                           std::string& error) = 0;
};

}  // namespace tev::archive
