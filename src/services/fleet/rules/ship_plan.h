#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "services/archive/rules/outbox.h"

namespace tev::fleet {

// The rows of a table are shipped in slices of time [from, to) across every meter. Rows that
// start before closedBefore() can no longer change: the mark moves past them once they are in
// the database. Rows from there on (the minute, hour and day still open) are sent again each
// round until they close, each time replacing the database's row of the same key.
std::int64_t closedBefore(archive::OutboxTable table, std::int64_t writtenThrough);

// A slice holds about this many rows: one COPY and one transaction.
inline constexpr std::size_t kSliceRows = 20000;
// The first slice's length, and the next one's after a slice of `rows` rows: doubled when it
// held less than half the aim, halved when more than twice, within a minute and ten years.
std::int64_t firstSliceSeconds(archive::OutboxTable table);
std::int64_t nextSliceSeconds(std::int64_t seconds, std::size_t rows);

// The mark after a slice [from, to) was shipped while retention moved the mark from `from`
// to `found` and counted the rows it was to delete before `found` as lost: the shipped rows
// among them were not lost after all.
struct MarkAfterRetention {
    std::int64_t mark = 0;
    std::int64_t lostChange = 0;
};
MarkAfterRetention markAfterRetention(std::int64_t found, std::int64_t to,
                                      const std::vector<std::int64_t>& shippedTimes);

// Where a table's mark goes back to when the database lacks rows it was sent (a database
// restored from an older dump, or recreated empty): `shipped` holds the archive's rows before
// the mark per meter, `held` the database's rows of the site from the earliest of them on,
// both keyed by the database's meter key. A meter whose rows the database lacks is sent again
// from its latest row there, or from its first row when it has none of the meter's latest;
// the upsert makes the rows sent twice harmless. `missing` 0: the database is not behind.
struct Resend {
    std::int64_t from = 0;
    std::int64_t missing = 0;
};
Resend resendFrom(const std::vector<archive::MeterRows>& shipped,
                  const std::vector<archive::MeterRows>& held);

// The log line for the rows sent again ("" when none): `missing` per table.
std::string resendLine(const std::array<std::int64_t, 4>& missing);

// The line of `tev3p fleet-resend` once the marks went back to `from` (as the operator reads
// it): `again` per table, as archive::shipAgainFrom counts them.
std::string shipAgainLine(const std::array<std::int64_t, 4>& again, const std::string& from);

// The log line for rows retention deleted before they were shipped; empty when none are new.
std::string lostRowsLine(archive::OutboxTable table, std::int64_t lost, std::int64_t lostTold);

}  // namespace tev::fleet
