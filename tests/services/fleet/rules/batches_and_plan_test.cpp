#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "services/archive/rules/local_time.h"
#include "services/fleet/rules/reconnect_backoff.h"
#include "services/fleet/rules/row_batch.h"
#include "services/fleet/rules/ship_plan.h"

namespace tev::fleet {
namespace {

using archive::OutboxTable;

TEST(RowBatch, TimesAreUtcTextAndNumbersReadBackToTheSameDouble) {
    const std::pair<std::int64_t, const char*> seconds[] = {
        {0, "1970-01-01 00:00:00+00"},          {951782400, "2000-02-29 00:00:00+00"},
        {1796774399, "2026-12-08 23:59:59+00"}, {-1, "1969-12-31 23:59:59+00"},
        {4102444800, "2100-01-01 00:00:00+00"},
    };
    for (const auto& [t, text] : seconds) EXPECT_EQ(utcTimestamp(t), text);
    EXPECT_EQ(utcTimestampMs(1796774399250), "2026-12-08 23:59:59.250+00");
    EXPECT_EQ(utcTimestampMs(-1), "1969-12-31 23:59:59.999+00");

    for (const double v : {228.1000061035156, 0.1, 1e-300, 123456789.123456789, -0.0,
                           std::numeric_limits<double>::max(), 5e-324}) {
        const std::string text = exactNumber(v);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
    }
    EXPECT_EQ(exactNumber(NAN), "");
    EXPECT_EQ(exactNumber(-INFINITY), "-Infinity");
}

TEST(RowBatch, CopyTextAndInsertKeepHostileBytesInTheirFields) {
    // Any bytes a meter sends become printable keys, and two different IDs stay different.
    EXPECT_EQ(databaseKey("HOQ000000001"), "HOQ000000001");
    EXPECT_EQ(databaseKey(std::string("A B%\xff\t\0", 7)), "A%20B%25%FF%09%00");
    EXPECT_NE(databaseKey("A%20"), databaseKey("A "));

    archive::PeriodRow row;
    row.meter = "M\t1";
    row.t = 1796774400;
    for (std::size_t i = 0; i < row.values.size(); ++i)
        row.values[i] = static_cast<double>(i) + 0.5;
    row.values[3] = NAN;
    std::string copy;
    appendCopyRows(copy, "Hall\\2\tnorth\n", {row});
    std::string expected = "Hall\\\\2\\tnorth\\n\tM%091\t2026-12-09 00:00:00+00";
    for (std::size_t i = 0; i < row.values.size(); ++i)
        expected += i == 3 ? "\t\\N" : "\t" + exactNumber(static_cast<double>(i) + 0.5);
    EXPECT_EQ(copy, expected + "\n");

    // The binary format: its signature, a row of 28 fields (length, then big-endian bytes; -1 for
    // NULL), the time in microseconds from 2000-01-01 UTC, the message count as a bigint, and
    // the end mark.
    row.values[archive::kPeriodValueCount - 1] = 12;
    std::string binary;
    appendBinaryCopyRows(binary, "s", {row});
    const auto bigEndian = [&binary](std::size_t at, std::size_t n) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(binary[at + i]);
        return v;
    };
    ASSERT_EQ(binary.size(), 19u + 2 + (4 + 1) + (4 + 5) + 12 + 24 * 12 + 4 + 2);
    EXPECT_EQ(binary.substr(0, 19), std::string("PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0", 19));
    EXPECT_EQ(bigEndian(19, 2), 28u);
    EXPECT_EQ(binary.substr(21, 14), std::string("\0\0\0\1s\0\0\0\5M%091", 14));
    EXPECT_EQ(bigEndian(35, 4), 8u);
    EXPECT_EQ(bigEndian(39, 8), (1796774400ULL - 946684800) * 1000000);
    EXPECT_EQ(bigEndian(47 + 12 * 3, 4), 0xFFFFFFFFu);  // values[3], NULL
    std::uint64_t first = 0;
    std::memcpy(&first, &row.values[0], 8);
    EXPECT_EQ(bigEndian(47 + 4, 8), first);
    EXPECT_EQ(bigEndian(binary.size() - 10, 8), 12u);  // n, as the bigint 12
    EXPECT_EQ(bigEndian(binary.size() - 2, 2), 0xFFFFu);
    binary.clear();
    appendBinaryCopyRows(binary, "s", {});
    EXPECT_EQ(binary, "");

    archive::AlertRow alert{7, 1796774400123, "HOQ000000001", "voltage", 2, "start", 253.5, NAN};
    copy.clear();
    appendCopyRows(copy, "s", {alert});
    EXPECT_EQ(copy, "s\tHOQ000000001\t2026-12-09 00:00:00.123+00\tvoltage\t2\tstart\t253.5\t\\N\n");

    // The site, meter and values travel as parameters, never in the statement's text.
    const ParameterStatement insert =
        insertRowsStatement(OutboxTable::Hours, "O'Brien's", {row, row});
    EXPECT_EQ(insert.sql.rfind("INSERT INTO hours (site, meter, t, v1_mean, ", 0), 0u)
        << insert.sql;
    EXPECT_NE(insert.sql.find("($1, $2, $3::timestamptz, NULLIF($4, '')::double precision, "),
              std::string::npos);
    EXPECT_EQ(insert.sql.find("O'Brien"), std::string::npos);
    ASSERT_EQ(insert.parameters.size(), 1u + 2 * (2 + row.values.size()));
    EXPECT_EQ(insert.parameters[0], "O'Brien's");
    EXPECT_EQ(insert.parameters[1], "M%091");
    EXPECT_EQ(insert.parameters[2], "2026-12-09 00:00:00+00");
    EXPECT_EQ(insert.parameters[3 + 3], "");
    EXPECT_NE(
        insert.sql.find("ON CONFLICT (site, meter, t) DO UPDATE SET v1_mean = EXCLUDED.v1_mean"),
        std::string::npos);
    EXPECT_EQ(upsertFromStagingSql(OutboxTable::Alerts),
              "INSERT INTO alerts SELECT DISTINCT ON (site, meter, t, rule, phase, event) * FROM "
              "tev3p_in_alerts ON CONFLICT (site, meter, t, rule, phase, event) DO UPDATE SET "
              "value = EXCLUDED.value, threshold = EXCLUDED.threshold");
}

TEST(ShipPlan, AMarkGoesBackWhereTheDatabaseLacksRows) {
    using R = std::vector<archive::MeterRows>;
    const R shipped = {{"A", 10, 100, 1000}, {"B", 5, 200, 900}};
    struct Case {
        const char* what;
        R held;
        std::int64_t from, missing;
    } cases[] = {
        {"all there", {{"A", 10, 0, 1000}, {"B", 5, 0, 900}}, 0, 0},
        {"more than sent", {{"A", 12, 0, 1000}, {"B", 5, 0, 900}}, 0, 0},
        {"empty database", {}, 100, 15},
        {"A cut short", {{"A", 7, 0, 700}, {"B", 5, 0, 900}}, 700, 3},
        {"B missing, A short", {{"A", 7, 0, 700}}, 200, 8},
        {"A holed, latest there", {{"A", 9, 0, 1000}, {"B", 5, 0, 900}}, 100, 1},
        {"other meters only", {{"C", 50, 0, 2000}}, 100, 15},
    };
    for (const Case& c : cases) {
        const Resend r = resendFrom(shipped, c.held);
        EXPECT_EQ(r.from, c.from) << c.what;
        EXPECT_EQ(r.missing, c.missing) << c.what;
    }
    EXPECT_EQ(resendLine({0, 0, 0, 0}), "");
    EXPECT_EQ(resendLine({291600, 5000, 200, 0}),
              "Fleet: the database lacks 296800 rows it was sent before (291600 minute, 5000 hour, "
              "200 day); they are sent again");
}

TEST(ShipPlan, PeriodsCloseAtTheirLocalEndsAndSlicesFollowTheRows) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    // 2026-03-29 03:30:10 CEST, the night the clocks went forward: the local day began two
    // real hours before the hour 03:00.
    const std::int64_t written = archive::localUnixSeconds(2026, 3, 29, 3, 30, 10);
    EXPECT_EQ(closedBefore(OutboxTable::Minutes, written), written - 10);
    EXPECT_EQ(closedBefore(OutboxTable::Hours, written), written - 30 * 60 - 10);
    EXPECT_EQ(closedBefore(OutboxTable::Days, written),
              archive::localUnixSeconds(2026, 3, 29, 0, 0, 0));
    EXPECT_EQ(closedBefore(OutboxTable::Days, written) + 2 * 3600, written - 30 * 60 - 10);

    EXPECT_EQ(firstSliceSeconds(OutboxTable::Minutes), 3600);
    EXPECT_EQ(nextSliceSeconds(3600, 100), 7200);
    EXPECT_EQ(nextSliceSeconds(3600, kSliceRows), 3600);
    EXPECT_EQ(nextSliceSeconds(3600, kSliceRows * 3), 1800);
    EXPECT_EQ(nextSliceSeconds(60, kSliceRows * 3), 60);
    EXPECT_EQ(nextSliceSeconds(3000LL * 86400, 0), 3653LL * 86400);

    // Retention moved the mark to 1000 while the slice [900, 1100) was in flight: the three
    // shipped rows before 1000 had been counted as lost.
    const MarkAfterRetention m = markAfterRetention(1000, 1100, {900, 960, 999, 1000, 1060});
    EXPECT_EQ(m.mark, 1100);
    EXPECT_EQ(m.lostChange, -3);
    EXPECT_EQ(markAfterRetention(5000, 1100, {900}).mark, 5000);

    EXPECT_EQ(lostRowsLine(OutboxTable::Minutes, 10, 10), "");
    EXPECT_EQ(lostRowsLine(OutboxTable::Hours, 25, 10),
              "Fleet: 15 hour rows were deleted by the archive's retention before they could be "
              "shipped (25 in all)");
}

TEST(ReconnectBackoff, DoublesToTheLongestWithinTheUpperHalfAndStartsAgainAfterSuccess) {
    ReconnectBackoff b(1000, 30000);
    const int nominal[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000};
    for (const int n : nominal) {
        ReconnectBackoff low = b, high = b;
        const int waitLow = low.next(0), waitHigh = high.next(0xffffffffu - 1);
        EXPECT_EQ(waitLow, n - n / 2);
        EXPECT_GE(waitHigh, n - n / 2);
        EXPECT_LE(waitHigh, n);
        b.next(12345);
    }
    b.reset();
    EXPECT_LE(b.next(7), 1000);
}

}  // namespace
}  // namespace tev::fleet
