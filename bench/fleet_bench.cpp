// The fleet sink against a local PostgreSQL of its own (initdb and pg_ctl on a private folder):
// the shipping rate of COPY and of multi-row INSERTs, the catch-up of a day of 200 meters'
// minute rows from an archive beside the limit (a plain COPY of the same rows into an empty
// table of the minutes table's shape), and the CPU the shipper adds to a recorder of 200 meters.
// `fleet_bench catchup` runs only the catch-up and its limit.
#include <sys/resource.h>

#include <QElapsedTimer>
#include <QThread>
#include <cstdio>
#include <memory>

#include "platform/qt/system_clock.h"
#include "services/archive/sqlite/archive_outbox.h"
#include "services/archive/sqlite/archive_writer.h"
#include "services/fleet/postgres/fleet_database.h"
#include "services/fleet/postgres/fleet_shipper.h"
#include "services/fleet/rules/row_batch.h"
#include "services/fleet/rules/ship_plan.h"
#include "tests/services/fleet/postgres/postgres_fixture.h"
#include "tests/support/fake_clock.h"

namespace {

using namespace tev;
constexpr int kMeters = 200;
constexpr int kMinutesPerDay = 1440;
constexpr std::int64_t kDayStart = 1796688000;  // 2026-12-08 00:00 UTC
constexpr int kRounds = 5;                      // of the catch-up and its limit, in turns

std::string meterId(int i) {
    char id[16];
    std::snprintf(id, sizeof id, "SIM%09d", i + 1);
    return id;
}

std::vector<archive::PeriodRow> minuteRows(int meters, int minutes) {
    std::vector<archive::PeriodRow> rows;
    for (int m = 0; m < minutes; ++m)
        for (int i = 0; i < meters; ++i) {
            archive::PeriodRow& r = rows.emplace_back();
            r.meter = meterId(i);
            r.t = kDayStart + m * 60;
            for (std::size_t v = 0; v < r.values.size(); ++v) r.values[v] = 230.1 + v + m * 0.01;
            r.values.back() = 12;  // the message count
        }
    return rows;
}

double seconds(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// Rows a second into the minutes table, in batches of `batch` rows.
double shippingRate(const testing::PostgresServer& server, const std::string& database,
                    const std::vector<archive::PeriodRow>& rows, std::size_t batch, bool copy) {
    fleet::PgConnection db;
    if (!server.connect(db, database)) return 0;
    fleet::FleetDatabase fleet(db);
    std::string error;
    int found = 0;
    if (fleet.ensureSchema(found, error) != fleet::FleetDatabase::Schema::Ready ||
        !fleet.prepareSession(error))
        return 0;
    QElapsedTimer t;
    t.start();
    for (std::size_t at = 0; at < rows.size(); at += batch) {
        const std::vector<archive::PeriodRow> part(
            rows.begin() + at, rows.begin() + std::min(rows.size(), at + batch));
        const bool ok =
            copy ? fleet.shipPeriods(archive::OutboxTable::Minutes, "bench", part, error)
                 : fleet.insertPeriods(archive::OutboxTable::Minutes, "bench", part, error);
        if (!ok) {
            std::printf("  failed: %s\n", error.c_str());
            return 0;
        }
    }
    return static_cast<double>(rows.size()) / seconds(t);
}

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

fleet::FleetShipperOptions shipperOptions(const testing::PostgresServer& server,
                                          const std::string& database, const std::string& folder,
                                          std::function<std::int64_t()> written) {
    fleet::FleetShipperOptions o;
    o.settings.url = server.url(database);
    o.settings.site = "bench";
    o.openOutbox = [folder](std::string& error) {
        return archive::openArchiveOutbox(folder, error);
    };
    o.writtenThrough = std::move(written);
    o.log = [](const std::string& line) { std::printf("  log: %s\n", line.c_str()); };
    return o;
}

// A piece of COPY text and the table it goes to.
struct CopyPiece {
    archive::OutboxTable table;
    std::string text;
    std::string binary;  // the same rows in COPY's binary format
};

// The archive's minute, hour and day rows as COPY text for the site "bench", kSliceRows rows a
// piece: what the catch-up sends.
std::vector<CopyPiece> archiveCopyText(const std::string& folder, std::size_t& count) {
    std::vector<CopyPiece> pieces;
    count = 0;
    std::string error;
    const auto outbox = archive::openArchiveOutbox(folder, error);
    if (!outbox) return pieces;
    std::vector<archive::PeriodRow> rows, piece;
    for (const archive::OutboxTable table :
         {archive::OutboxTable::Minutes, archive::OutboxTable::Hours, archive::OutboxTable::Days}) {
        if (!outbox->periodRows(table, 0, INT64_MAX, rows, error)) return {};
        for (std::size_t at = 0; at < rows.size(); at += fleet::kSliceRows) {
            piece.assign(rows.begin() + static_cast<std::ptrdiff_t>(at),
                         rows.begin() + static_cast<std::ptrdiff_t>(
                                            std::min(rows.size(), at + fleet::kSliceRows)));
            pieces.push_back({table, {}, {}});
            fleet::appendCopyRows(pieces.back().text, "bench", piece);
            fleet::appendBinaryCopyRows(pieces.back().binary, "bench", piece);
        }
        count += rows.size();
    }
    return pieces;
}

// What PostgreSQL can take: the pieces COPYed straight into new empty tables with the fleet
// tables' columns, key and index (`prefix`_minutes …), one transaction each, as text or in the
// binary format; rows a second.
double copyLimit(const testing::PostgresServer& server, const std::string& database,
                 const std::string& prefix, const std::vector<CopyPiece>& pieces, std::size_t count,
                 bool binary) {
    fleet::PgConnection db;
    std::string error;
    int found = 0;
    if (!server.connect(db, database) ||
        fleet::FleetDatabase(db).ensureSchema(found, error) !=
            fleet::FleetDatabase::Schema::Ready ||
        !db.run("CREATE TABLE " + prefix + "_minutes (LIKE minutes INCLUDING ALL); CREATE TABLE " +
                    prefix + "_hours (LIKE hours INCLUDING ALL); CREATE TABLE " + prefix +
                    "_days (LIKE days INCLUDING ALL)",
                error)) {
        std::printf("  limit failed: %s\n", error.c_str());
        return 0;
    }
    QElapsedTimer t;
    t.start();
    for (const CopyPiece& piece : pieces)
        if (!db.copyIn("COPY " + prefix + "_" + archive::outboxTableName(piece.table) +
                           " FROM STDIN" + (binary ? " WITH (FORMAT binary)" : ""),
                       binary ? piece.binary : piece.text, error)) {
            std::printf("  limit failed: %s\n", error.c_str());
            return 0;
        }
    return static_cast<double>(count) / seconds(t);
}

}  // namespace

int main(int argc, char** argv) {
    const bool onlyCatchUp = argc > 1 && std::string(argv[1]) == "catchup";
    const SystemClock systemClock;
    setenv("PGPASSWORD", testing::kPostgresPassword, 1);
    testing::PostgresServer server;
    if (!server.start()) {
        std::printf("PostgreSQL did not start:\n%s\n", server.log().c_str());
        return 1;
    }
    for (const char* db : {"copy", "insert", "plain", "steady"}) server.createDatabase(db);

    const auto rows = minuteRows(kMeters, 500);
    if (!onlyCatchUp) {
        std::printf("Shipping %zu minute rows into a local PostgreSQL (one transaction a batch):\n",
                    rows.size());
        std::printf("  COPY into a staging table + upsert, 20000 a batch: %9.0f rows/s\n",
                    shippingRate(server, "copy", rows, 20000, true));
        std::printf("  multi-row INSERT ... ON CONFLICT, 2000 a batch:    %9.0f rows/s\n",
                    shippingRate(server, "insert", rows, 2000, false));
        std::printf("  the same COPY again, every row already there:     %9.0f rows/s\n",
                    shippingRate(server, "copy", rows, 20000, true));
        std::fflush(stdout);
    }

    // A day of 200 meters, one message a minute each, written by the archive's own writer.
    char pattern[] = "/tmp/tev-fleet-bench-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    {
        archive::ArchiveWriterOptions o;
        o.folder = folder;
        o.importDayFiles = false;
        o.queueCapacity = 1 << 20;
        testing::FakeClock dayAfter;
        dayAfter.setUnixSeconds(kDayStart + 86400);
        archive::ArchiveWriter writer(o, dayAfter);
        writer.start();
        for (int m = 0; m < kMinutesPerDay; ++m)
            for (int i = 0; i < kMeters; ++i) {
                archive::ArchiveSample s;
                s.setId(meterId(i));
                s.unixSeconds = kDayStart + m * 60 + 5;
                s.volts = {230.0f + m % 7, 231.0f, 229.0f};
                s.amps = {1.0f + i % 5, 2.0f, 3.0f};
                s.dayEnergy = 0.01f * m;
                writer.push(s);
            }
        writer.flush();
        writer.stop();
    }
    // The catch-up and its limit in turns, kRounds times, each catch-up from a copy of the archive
    // into a database of its own, so that load on the machine meets both alike. Neither counts
    // the time the tables take to be made.
    std::size_t limitRows = 0;
    const std::vector<CopyPiece> pieces = archiveCopyText(folder, limitRows);
    const double n = kMeters * (kMinutesPerDay + 24 + 1);
    double bestLimit = 0, bestBinary = 0, bestCatchUp = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::string database = "catchup" + std::to_string(round);
        server.createDatabase(database);
        const double limit =
            copyLimit(server, "plain", "plain" + std::to_string(round), pieces, limitRows, false);
        const double binaryLimit =
            copyLimit(server, "plain", "binary" + std::to_string(round), pieces, limitRows, true);
        char copyPattern[] = "/tmp/tev-fleet-bench-XXXXXX";
        const std::string copy = mkdtemp(copyPattern);
        std::filesystem::copy(folder, copy,
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
        double catchUp = 0;
        {
            // The fleet database as a catch-up finds it: the schema there, the site's rows not.
            fleet::PgConnection db;
            std::string error;
            int found = 0;
            if (!server.connect(db, database) ||
                fleet::FleetDatabase(db).ensureSchema(found, error) !=
                    fleet::FleetDatabase::Schema::Ready)
                std::printf("  the schema failed: %s\n", error.c_str());
        }
        {
            fleet::FleetShipper shipper(
                shipperOptions(server, database, copy, [] { return kDayStart + 2 * 86400; }),
                systemClock);
            QElapsedTimer t;
            t.start();
            shipper.start();
            while (shipper.rounds() < 1) QThread::msleep(5);
            catchUp = n / seconds(t);
        }
        std::filesystem::remove_all(copy);
        std::printf(
            "Catch-up of a day of %d meters (%.0f minute, hour and day rows) from the archive: "
            "%.0f rows/s; plain COPY of the same %zu rows into empty tables, %zu a transaction: "
            "text %.0f rows/s (catch-up %.0f %% of it), binary %.0f rows/s (%.0f %%)\n",
            kMeters, n, catchUp, limitRows, fleet::kSliceRows, limit, 100.0 * catchUp / limit,
            binaryLimit, 100.0 * catchUp / binaryLimit);
        std::fflush(stdout);
        bestLimit = std::max(bestLimit, limit);
        bestBinary = std::max(bestBinary, binaryLimit);
        bestCatchUp = std::max(bestCatchUp, catchUp);
    }
    std::printf(
        "Best of %d: catch-up %.0f rows/s; plain COPY as text %.0f rows/s (%.0f %%), binary "
        "%.0f rows/s (%.0f %%)\n",
        kRounds, bestCatchUp, bestLimit, 100.0 * bestCatchUp / bestLimit, bestBinary,
        100.0 * bestCatchUp / bestBinary);
    std::fflush(stdout);
    if (onlyCatchUp) {
        std::filesystem::remove_all(folder);
        return 0;
    }

    // A recorder of 200 meters, a message a second each, with and without the shipper.
    constexpr int kSeconds = 20;
    for (const bool shipping : {false, true}) {
        archive::ArchiveWriterOptions o;
        o.folder = folder;
        o.importDayFiles = false;
        archive::ArchiveWriter writer(o, systemClock);
        writer.start();
        std::unique_ptr<fleet::FleetShipper> shipper;
        if (shipping) {
            shipper = std::make_unique<fleet::FleetShipper>(
                shipperOptions(server, "steady", folder,
                               [&writer] { return writer.writtenThrough(); }),
                systemClock);
            shipper->start();
            while (shipper->rounds() < 1) QThread::msleep(5);
        }
        const double cpu = processCpuSeconds();
        QElapsedTimer t;
        t.start();
        for (int second = 0; second < kSeconds; ++second) {
            const std::int64_t now = std::time(nullptr);
            for (int i = 0; i < kMeters; ++i) {
                archive::ArchiveSample s;
                s.setId(meterId(i));
                s.unixSeconds = now;
                s.volts = {230.0f + second % 3, 231.0f, 229.0f};
                s.amps = {1.0f, 2.0f, 3.0f};
                s.dayEnergy = 0.001f * second;
                writer.push(s);
            }
            QThread::msleep(
                static_cast<unsigned long>(std::max<qint64>(0, (second + 1) * 1000 - t.elapsed())));
        }
        const double used = processCpuSeconds() - cpu;
        std::printf("Archive writer of %d meters at a message a second%s: %.2f %% of a core\n",
                    kMeters, shipping ? " and the shipper (5 s rounds)" : "",
                    100.0 * used / seconds(t));
        if (shipper) shipper->stop();
        writer.stop();
    }
    std::filesystem::remove_all(folder);
    return 0;
}
