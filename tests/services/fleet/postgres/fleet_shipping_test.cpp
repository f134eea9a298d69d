#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <sstream>

#include "services/archive/sqlite/archive_export.h"
#include "services/archive/sqlite/archive_outbox.h"
#include "services/archive/sqlite/archive_writer.h"
#include "services/fleet/postgres/fleet_export.h"
#include "services/fleet/postgres/fleet_shipper.h"
#include "services/fleet/rules/fleet_schema.h"
#include "tests/services/archive/sqlite/archive_fixture.h"
#include "tests/services/fleet/postgres/fleet_rows.h"
#include "tests/services/fleet/postgres/grafana_queries.h"
#include "tests/services/fleet/postgres/postgres_fixture.h"
#include "tests/services/fleet/postgres/stalling_proxy.h"

namespace tev::fleet {
namespace {

using archive::testing::at;
using archive::testing::sampleAt;
using tev::testing::PostgresServer;
using tev::testing::waitUntil;

#define REQUIRE_POSTGRES()                                           \
    if (!PostgresServer::installed())                                \
    GTEST_FAIL() << "PostgreSQL is not installed (" POSTGRES_BIN_DIR \
                    "): Debian package "                             \
                    "postgresql-15"

const char* const kTables[] = {"minutes", "hours", "days"};

// A recorder's side without the program: archive folders written by the archive's writer, and
// shippers that copy them into the test's database.
class FleetShipping : public archive::testing::ArchiveFolder {
  protected:
    void SetUp() override {
        ArchiveFolder::SetUp();
        ASSERT_TRUE(server.start()) << server.log();
    }
    void TearDown() override {
        for (auto& s : shippers) s->stop();
        ArchiveFolder::TearDown();
        for (const std::string& f : extraFolders) std::filesystem::remove_all(f);
    }

    std::string newFolder() {
        char pattern[] = "/tmp/tev-fleet-XXXXXX";
        extraFolders.emplace_back(mkdtemp(pattern));
        return extraFolders.back();
    }
    std::string passwordFile(const std::string& inFolder, const std::string& password) {
        const std::string path = inFolder + "/pg.pw";
        std::ofstream(path) << password << "\n";
        ::chmod(path.c_str(), 0600);
        return path;
    }
    // An archive of two meters over `hours` hours before `end`, a message every 20 s, with an
    // alert start and end; the writer's present is `end`.
    void writeArchive(const std::string& at, std::int64_t end, int hours, float base,
                      archive::ArchiveSettings settings = {},
                      std::array<std::string, 2> meters = {"HOQ000000001", "HOQ000000002"}) {
        clock.setUnixSeconds(end);
        archive::ArchiveWriterOptions o = options();
        o.folder = at;
        o.settings = settings;
        archive::ArchiveWriter writer(o, clock);
        writer.start();
        float energy[2] = {0, 0};
        for (std::int64_t t = end - hours * 3600; t < end; t += 20) {
            for (int m = 0; m < 2; ++m) {
                energy[m] += 0.01f;
                const float v = base + static_cast<float>((t / 20 + m) % 7);
                writer.push(sampleAt(meters[m].c_str(), t, {v, v + 1, v - 1},
                                     {1.5f + m, 2.0f, 0.25f}, energy[m]));
            }
        }
        writer.pushAlert({(end - 1800) * 1000 + 250, meters[0], "voltage", 2, true, 253.5, 253});
        writer.pushAlert({(end - 1700) * 1000, meters[0], "voltage", 2, false, 250.1, 253});
        writer.flush();
        writer.stop();
    }
    FleetShipper& ship(const std::string& at, const std::string& site, const std::string& pwFile,
                       const std::string& database = "fleet") {
        FleetShipperOptions o;
        o.settings.url =
            viaPort == 0 ? server.url(database)
                         : "postgresql://tev@127.0.0.1:" + std::to_string(viaPort) + "/" + database;
        o.callTimeoutMs = o.connectTimeoutMs = deadlineMs;
        o.settings.passwordFile = pwFile;
        o.settings.site = site;
        o.openOutbox = [at](std::string& error) { return archive::openArchiveOutbox(at, error); };
        o.writtenThrough = [this] { return written.load(); };
        o.log = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(logMutex);
            log.push_back(line);
        };
        o.roundMs = 100;
        o.firstRetryMs = 100;
        o.longestRetryMs = 400;
        shippers.push_back(std::make_unique<FleetShipper>(o, clock));
        shippers.back()->start();
        return *shippers.back();
    }
    int linesWith(const std::string& part) {
        const auto lines = logLines();
        return static_cast<int>(
            std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& l) { return l.find(part) != std::string::npos; }));
    }
    // Every minute, hour and day row of the folder is in the database under the site, with
    // equal values.
    ::testing::AssertionResult allShipped(const std::string& at, const std::string& site,
                                          const std::string& database = "fleet") {
        PgConnection db;
        if (!server.connect(db, database)) return ::testing::AssertionFailure() << "no database";
        for (const char* table : kTables) {
            const auto local = testing::localRows(at, table);
            const auto fleet = testing::fleetRows(db, site, table);
            if (local.empty() || !testing::sameRows(local, fleet))
                return ::testing::AssertionFailure()
                       << table << " of " << site << ": " << local.size() << " local rows, "
                       << fleet.size() << " in the database";
        }
        return ::testing::AssertionSuccess();
    }

    PostgresServer server;
    int viaPort = 0;  // a proxy's port in front of the server, when not 0
    int deadlineMs = 30000;
    std::vector<std::string> extraFolders;
    std::vector<std::unique_ptr<FleetShipper>> shippers;
    // What the archive's writer would say: every message before this moment is in the file.
    std::atomic<std::int64_t> written{0};
};

TEST_F(FleetShipping, ThreeArchivesShipEveryRowIntoOneDatabaseWhereExportAndGrafanaReadThem) {
    REQUIRE_POSTGRES();
    ASSERT_TRUE(server.createDatabase("fleet"));
    const std::int64_t end = at("2026-12-08T15:00");
    const std::string folders[] = {folder, newFolder(), newFolder()};
    for (int i = 0; i < 3; ++i) writeArchive(folders[i], end, 3, 220.0f + 5.0f * i);
    written = end + 2 * 86400;
    const std::string pw = passwordFile(folder, testing::kPostgresPassword);
    // The three start together: one of them creates the schema, the others wait for it.
    for (int i = 0; i < 3; ++i) ship(folders[i], "site-" + std::to_string(i + 1), pw);
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(shippers.begin(), shippers.end(),
                           [](auto& s) { return s->rounds() >= 1; });
    })) << ::testing::PrintToString(logLines());
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(allShipped(folders[i], "site-" + std::to_string(i + 1)));
    EXPECT_EQ(testing::localRows(folder, "minutes").size(), 2u * 3 * 60);
    EXPECT_EQ(linesWith("Fleet: shipping to PostgreSQL postgresql://127.0.0.1:" +
                        std::to_string(server.port()) + "/fleet, "),
              3);

    PgConnection db;
    ASSERT_TRUE(server.connect(db, "fleet"));
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM alerts"), 6);
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM meters"), 6);
    EXPECT_EQ(testing::countOf(db, "SELECT max(version) FROM tev3p_schema"), kFleetSchemaVersion);
    const PgResult alert = db.exec(
        "SELECT to_char(t AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS.MS'), rule, phase, event, "
        "value FROM alerts WHERE site = 'site-2' ORDER BY t LIMIT 1");
    ASSERT_EQ(alert.rows(), 1);
    EXPECT_EQ(alert.text(0, 0), "2026-12-08 13:30:00.250");  // 14:30:00.250 CET
    EXPECT_EQ(alert.text(0, 1) + alert.text(0, 2) + alert.text(0, 3) + alert.text(0, 4),
              "voltage2start253.5");

    // Read back, the fleet gives the local export's bytes.
    FleetExportRequest readBack;
    readBack.url = server.url("fleet");
    readBack.passwordFile = pw;
    readBack.site = "site-2";
    readBack.meter = "HOQ000000002";
    for (const char* resolution : {"minute", "hour", "day"}) {
        std::ostringstream local, fleet, errors;
        archive::ArchiveExportRequest fromArchive;
        fromArchive.folder = folders[1];
        fromArchive.query.meter = "HOQ000000002";
        ASSERT_TRUE(archive::parseResolution(resolution, fromArchive.query.resolution));
        ASSERT_EQ(archive::runArchiveExport(fromArchive, local, errors), 0) << errors.str();
        FleetExportRequest fromFleet = readBack;
        fromFleet.resolution = fromArchive.query.resolution;
        ASSERT_EQ(runFleetExport(fromFleet, fleet, errors), 0) << errors.str();
        const std::string csv = local.str();
        EXPECT_EQ(fleet.str(), csv);
        EXPECT_GT(std::count(csv.begin(), csv.end(), '\n'), 1);
    }
    std::ostringstream out, errors;
    FleetExportRequest elsewhere = readBack;
    elsewhere.site = "site-9";
    EXPECT_EQ(runFleetExport(elsewhere, out, errors), 1);
    EXPECT_EQ(errors.str(),
              "tev3p export: meter HOQ000000002 of site site-9 is not in the fleet database\n");

    // Every panel, annotation and variable of the Grafana dashboard finds rows.
    // Grafana's $__interval for two days and the Power panel's 300 points: 10 minutes.
    const auto queries = testing::grafanaQueries(
        GRAFANA_DASHBOARD, "2026-12-07 00:00:00+00", "2026-12-09 00:00:00+00",
        "'site-1','site-2','site-3'", "'HOQ000000001','HOQ000000002'", 600);
    ASSERT_GE(queries.size(), 7u);
    for (const testing::GrafanaQuery& q : queries) {
        const PgResult r = db.exec(q.sql);
        EXPECT_TRUE(r.ok()) << q.sql << "\n" << r.error();
        EXPECT_GT(r.rows(), 0) << q.sql;
    }
}

TEST_F(FleetShipping, AWrongPasswordAndADatabaseStoppedMidRunLoseNothingAndAreToldOncePerOutage) {
    REQUIRE_POSTGRES();
    ASSERT_TRUE(server.createDatabase("fleet"));
    const std::int64_t end = at("2026-12-08T15:00");
    writeArchive(folder, end - 3 * 3600, 2, 230.0f);
    written = end - 3 * 3600;
    const std::string pw = passwordFile(folder, "not-the-password");
    FleetShipper& shipper = ship(folder, "hall", pw);
    ASSERT_TRUE(waitUntil([&] { return linesWith("password authentication failed") == 1; }))
        << ::testing::PrintToString(logLines());
    EXPECT_FALSE(shipper.status().up);
    EXPECT_EQ(shipper.status().backlogRows,
              static_cast<std::int64_t>(testing::localRows(folder, "minutes").size() +
                                        testing::localRows(folder, "hours").size() +
                                        testing::localRows(folder, "days").size() + 2));
    passwordFile(folder, testing::kPostgresPassword);
    ASSERT_TRUE(
        waitUntil([&] { return linesWith("resumed after") == 1 && shipper.rounds() >= 1; }));
    EXPECT_TRUE(allShipped(folder, "hall"));

    // The database ends at once, as in a crash, and comes back while rows keep coming.
    ASSERT_TRUE(server.stop("immediate"));
    writeArchive(folder, end, 3, 231.0f);
    written = end;
    ASSERT_TRUE(waitUntil([&] { return linesWith(" stopped (") == 2; }))
        << ::testing::PrintToString(logLines());
    EXPECT_FALSE(shipper.status().up);
    ASSERT_TRUE(server.start()) << server.log();
    ASSERT_TRUE(waitUntil([&] { return linesWith("resumed after") == 2; }))
        << ::testing::PrintToString(logLines());
    const std::uint64_t rounds = shipper.rounds();
    ASSERT_TRUE(waitUntil([&] { return shipper.rounds() > rounds; }));
    EXPECT_TRUE(allShipped(folder, "hall"));
    EXPECT_TRUE(shipper.status().up);
    EXPECT_EQ(shipper.status().backlogRows, 0);
    EXPECT_GT(shipper.status().lastShippedUnix, 0);
    PgConnection db;
    ASSERT_TRUE(server.connect(db, "fleet"));
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM alerts"), 4);
    // One line each way per outage, however many attempts failed.
    EXPECT_EQ(linesWith(" stopped ("), 2);
    EXPECT_EQ(linesWith("rows had waited in the archive"), 2);
}

TEST_F(FleetShipping, RowsRetentionDeletedUnshippedAreCountedAndANewerSchemaIsNeverWritten) {
    REQUIRE_POSTGRES();
    ASSERT_TRUE(server.createDatabase("fleet"));
    ASSERT_TRUE(server.createDatabase("newer"));
    const std::int64_t end = at("2026-12-08T15:00");
    writeArchive(folder, end, 72, 230.0f);
    {
        // A shipper once ran here and shipped nothing: the archive holds its marks.
        std::string error;
        ASSERT_TRUE(archive::openArchiveOutbox(folder, error)) << error;
    }
    // The next run keeps a day of minute rows: the older ones go before they were shipped.
    const std::int64_t cut = end - 86400;
    const auto before = testing::localRows(folder, "minutes");
    const auto doomed = std::count_if(before.begin(), before.end(),
                                      [&](const auto& r) { return r.first.second < cut; });
    ASSERT_GT(doomed, 0);
    archive::ArchiveSettings keepADay;
    keepADay.minuteDays = 1;
    writeArchive(folder, end, 0, 230.0f, keepADay);
    EXPECT_EQ(testing::localRows(folder, "minutes").size(), before.size() - doomed);

    const std::string pw = passwordFile(folder, testing::kPostgresPassword);
    {
        PgConnection db;
        ASSERT_TRUE(server.connect(db, "newer"));
        std::string error;
        ASSERT_TRUE(
            db.run("CREATE TABLE tev3p_schema (version integer PRIMARY KEY); INSERT INTO "
                   "tev3p_schema VALUES (2)",
                   error))
            << error;
    }
    written = end + 2 * 86400;
    FleetShipper& refused = ship(folder, "hall", pw, "newer");
    ASSERT_TRUE(waitUntil([&] { return linesWith("schema version 2, newer") == 1; }));
    refused.stop();
    PgConnection newer;
    ASSERT_TRUE(server.connect(newer, "newer"));
    EXPECT_EQ(testing::countOf(newer, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
              1);
    EXPECT_EQ(refused.rounds(), 0u);

    FleetShipper& shipper = ship(folder, "hall", pw);
    ASSERT_TRUE(waitUntil([&] { return shipper.rounds() >= 1; }))
        << ::testing::PrintToString(logLines());
    EXPECT_EQ(linesWith("Fleet: " + std::to_string(doomed) +
                        " minute rows were deleted by the archive's retention before they could "
                        "be shipped (" +
                        std::to_string(doomed) + " in all)"),
              1)
        << ::testing::PrintToString(logLines());
    EXPECT_TRUE(allShipped(folder, "hall"));
    // Told once: a later run does not tell it again.
    shipper.stop();
    FleetShipper& again = ship(folder, "hall", pw);
    ASSERT_TRUE(waitUntil([&] { return again.rounds() >= 1; }));
    EXPECT_EQ(linesWith("deleted by the archive's retention"), 1);
}

TEST_F(FleetShipping, ADatabaseThatStopsAnsweringIsAnOutageWithinTheDeadlineAndLosesNothing) {
    REQUIRE_POSTGRES();
    ASSERT_TRUE(server.createDatabase("fleet"));
    testing::StallingProxy proxy(server.port());
    ASSERT_GT(proxy.port(), 0);
    const std::int64_t end = at("2026-12-08T15:00");
    writeArchive(folder, end - 3 * 3600, 2, 230.0f);
    written = end - 3 * 3600;
    viaPort = proxy.port();
    deadlineMs = 2000;
    FleetShipper& shipper = ship(folder, "hall", passwordFile(folder, testing::kPostgresPassword));
    ASSERT_TRUE(waitUntil([&] { return shipper.rounds() >= 1; }))
        << ::testing::PrintToString(logLines());
    EXPECT_TRUE(shipper.status().up);
    // The link stops forwarding without closing while new rows come: one line within the
    // deadline (and a round), the gauge drops, the backlog is counted.
    proxy.setForwarding(false);
    writeArchive(folder, end, 3, 231.0f);
    written = end;
    QElapsedTimer held;
    held.start();
    ASSERT_TRUE(waitUntil([&] { return linesWith(" stopped (no answer within 2 s)") == 1; },
                          deadlineMs + 4000))
        << ::testing::PrintToString(logLines());
    EXPECT_LT(held.elapsed(), deadlineMs + 4000);
    EXPECT_FALSE(shipper.status().up);
    EXPECT_GT(shipper.status().backlogRows, 0);
    clock.setUnixSeconds(end + 600);

    // Forwarding again: the outage's true length, and every row in the database once.
    proxy.setForwarding(true);
    ASSERT_TRUE(waitUntil([&] { return linesWith("resumed after 10 min") == 1; }))
        << ::testing::PrintToString(logLines());
    const std::uint64_t after = shipper.rounds();
    ASSERT_TRUE(waitUntil([&] { return shipper.rounds() > after; }));
    EXPECT_TRUE(allShipped(folder, "hall"));
    EXPECT_TRUE(shipper.status().up);
    EXPECT_EQ(shipper.status().backlogRows, 0);
    EXPECT_EQ(shipper.status().lastShippedUnix, end + 600);
    EXPECT_EQ(linesWith(" stopped ("), 1);

    // A stop in the middle of a call that waits on the stalled link ends at once.
    proxy.setForwarding(false);
    shipper.shipNow();
    ASSERT_TRUE(waitUntil([&] { return proxy.clientWaits(); }));
    QElapsedTimer stopping;
    stopping.start();
    shipper.stop();
    EXPECT_LT(stopping.elapsed(), 500);
    proxy.setForwarding(true);
}

TEST_F(FleetShipping, HostileSitesArriveExactlyAndADatabaseThatLostRowsGetsThemAgain) {
    REQUIRE_POSTGRES();
    ASSERT_TRUE(server.createDatabase("fleet"));
    {
        // Backslashes in string literals are escapes here: text pasted into SQL would run.
        PgConnection admin;
        ASSERT_TRUE(server.connect(admin));
        std::string error;
        ASSERT_TRUE(admin.run("ALTER DATABASE fleet SET standard_conforming_strings = off", error))
            << error;
    }
    const std::int64_t end = at("2026-12-08T15:00");
    written = end;
    const std::string sites[] = {"O'Brien\\", "x'); DROP TABLE meters; --",
                                 "Z\xc3\xbcrich \\' ;\"\t"};
    const std::array<std::string, 2> meters = {"M'1\\", "M;2\"--\\'"};
    const std::string pw = passwordFile(folder, testing::kPostgresPassword);
    std::vector<std::string> folders = {folder, newFolder(), newFolder()};
    for (std::size_t i = 0; i < 3; ++i) {
        writeArchive(folders[i], end, 2, 230.0f + static_cast<float>(i), {}, meters);
        ship(folders[i], sites[i], pw);
    }
    const auto everyRow = [&] {
        for (std::size_t i = 0; i < 3; ++i)
            if (!allShipped(folders[i], sites[i])) return false;
        return true;
    };
    ASSERT_TRUE(waitUntil(everyRow)) << ::testing::PrintToString(logLines());
    PgConnection db;
    ASSERT_TRUE(server.connect(db, "fleet"));
    for (const std::string& site : sites) {
        const PgResult m =
            db.execParams("SELECT id FROM meters WHERE site = $1 ORDER BY id", {site});
        ASSERT_EQ(m.rows(), 2) << site;
        EXPECT_EQ(m.text(0, 0), meters[0]);
        EXPECT_EQ(m.text(1, 0), meters[1]);
    }
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM alerts"), 6);
    EXPECT_EQ(linesWith("lacks"), 0);

    // The first site loses its latest 40 minutes (a dump restored), the others everything (a
    // database recreated empty); the shippers connect again.
    std::string error;
    ASSERT_TRUE(db.execParams("DELETE FROM minutes WHERE site = $1 AND t > (SELECT max(t) - "
                              "interval '40 minutes' FROM minutes WHERE site = $1)",
                              {sites[0]})
                    .ok());
    for (const char* table : {"minutes", "hours", "days", "alerts", "meters"})
        for (std::size_t i = 1; i < 3; ++i)
            ASSERT_TRUE(
                db.execParams(std::string("DELETE FROM ") + table + " WHERE site = $1", {sites[i]})
                    .ok());
    db.close();
    ASSERT_TRUE(server.stop("fast"));
    ASSERT_TRUE(server.start()) << server.log();
    ASSERT_TRUE(waitUntil([&] { return linesWith("they are sent again") == 3 && everyRow(); }))
        << ::testing::PrintToString(logLines());
    EXPECT_EQ(linesWith("Fleet: the database lacks 80 rows it was sent before (80 minute); they "
                        "are sent again"),
              1)
        << ::testing::PrintToString(logLines());
    ASSERT_TRUE(server.connect(db, "fleet"));
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM alerts"), 6);
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM meters"), 6);
}

// `tev3p fleet-resend` by hand: rows the database lost while the shipper runs, and rows it holds
// with other values while every count is right (which the check at connection cannot see),
// come back from the archive at the next round or the next start, each once.
TEST_F(FleetShipping, FleetResendShipsTheRowsFromItsTimeAgainWhetherTheShipperRunsOrNot) {
    REQUIRE_POSTGRES();
    ASSERT_TRUE(server.createDatabase("fleet"));
    const std::int64_t end = at("2026-12-08T15:00");
    writeArchive(folder, end, 3, 230.0f);
    written = end + 2 * 86400;
    const std::string pw = passwordFile(folder, testing::kPostgresPassword);
    const auto resend = [&](const char* from, std::string& said) {
        QProcess p;
        p.start(TEV3P_PATH,
                {"fleet-resend", "--from", from, "--folder", QString::fromStdString(folder)});
        if (!p.waitForFinished(testing::kPostgresWaitMs)) return -1;
        said = (p.readAllStandardOutput() + p.readAllStandardError()).toStdString();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    // The running shipper's database loses the rows; the stopped one's keeps them, changed.
    struct Case {
        bool running;
        const char* from;
        const char* told;
    };
    const Case cases[] = {
        {true, "2026-12-08T14:00",
         "Fleet: 120 minute, 2 hour, 0 day rows and 2 alerts from 2026-12-08T14:00:00+01:00 on "
         "will be shipped again\n"},
        {false, "2026-12-08",
         "Fleet: 360 minute, 6 hour, 2 day rows and 2 alerts from 2026-12-08T00:00:00+01:00 on "
         "will be shipped again\n"},
    };
    PgConnection db;
    ASSERT_TRUE(server.connect(db, "fleet"));
    const auto everyRowOnce = [&] {
        return allShipped(folder, "hall") &&
               testing::countOf(db, "SELECT count(*) FROM minutes") == 360 &&
               testing::countOf(db, "SELECT count(*) FROM alerts WHERE value > 0") == 2;
    };
    ship(folder, "hall", pw);
    ASSERT_TRUE(waitUntil(everyRowOnce)) << ::testing::PrintToString(logLines());
    for (const Case& c : cases) {
        if (!c.running) shippers.back()->stop();
        const std::string where = " WHERE t >= to_timestamp(" + std::to_string(at(c.from)) + ")";
        for (const std::string table : {"minutes", "hours", "days", "alerts"})
            ASSERT_TRUE(db.exec(c.running ? "DELETE FROM " + table + where
                                          : "UPDATE " + table + " SET " +
                                                (table == "alerts" ? "value" : "v1_mean") +
                                                " = -1" + where)
                            .ok());
        ASSERT_FALSE(everyRowOnce());
        std::string said;
        EXPECT_EQ(resend(c.from, said), 0) << said;
        EXPECT_EQ(said, c.told);
        if (!c.running) {
            // The marks only go back: a later time moves none of them on.
            EXPECT_EQ(resend("2026-12-08T14:30", said), 0);
            EXPECT_EQ(said,
                      "Fleet: 0 minute, 0 hour, 0 day rows and 0 alerts from "
                      "2026-12-08T14:30:00+01:00 on will be shipped again\n");
            ship(folder, "hall", pw);
        }
        EXPECT_TRUE(waitUntil(everyRowOnce)) << c.from << ::testing::PrintToString(logLines());
    }
    EXPECT_EQ(linesWith("lacks"), 0);
}

TEST_F(FleetShipping, TablesPartitionedByMonthAsTheAdministratorsScriptMakesThemTakeEveryRow) {
    REQUIRE_POSTGRES();
    ASSERT_TRUE(server.createDatabase("fleet"));
    std::ifstream in(FLEET_PARTITIONS_SQL);
    const std::string script((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(script.empty()) << FLEET_PARTITIONS_SQL;
    const std::int64_t end = at("2026-12-08T15:00");
    writeArchive(folder, end - 3 * 3600, 2, 230.0f);
    written = end - 3 * 3600;
    const std::string pw = passwordFile(folder, testing::kPostgresPassword);
    FleetShipper& first = ship(folder, "hall", pw);
    ASSERT_TRUE(waitUntil([&] { return first.rounds() >= 1; }))
        << ::testing::PrintToString(logLines());
    first.stop();

    // The script, twice: the second run changes nothing.
    PgConnection db;
    ASSERT_TRUE(server.connect(db, "fleet"));
    std::string error;
    for (int run = 0; run < 2; ++run) ASSERT_TRUE(db.run(script, error)) << error;
    EXPECT_TRUE(allShipped(folder, "hall"));
    for (const char* table : kTables) {
        EXPECT_EQ(testing::countOf(db, std::string("SELECT count(*) FROM pg_partitioned_table "
                                                   "WHERE partrelid = '") +
                                           table + "'::regclass"),
                  1)
            << table;
        // Every row is in its month's partition, none in the default one.
        EXPECT_EQ(
            testing::countOf(db, std::string("SELECT count(*) FROM ONLY ") + table + "_2026_12"),
            testing::countOf(db, std::string("SELECT count(*) FROM ") + table))
            << table;
        EXPECT_EQ(testing::countOf(db, std::string("SELECT count(*) FROM ") + table + "_default"),
                  0);
    }

    // Rows that replace rows already there, new rows, and rows the database lost are sent
    // again: the upsert and the resend at connect work on the partitioned tables.
    writeArchive(folder, end, 3, 231.0f);
    written = end;
    ASSERT_TRUE(db.run("DELETE FROM minutes WHERE t < '2026-12-08 10:00+00'", error)) << error;
    FleetShipper& again = ship(folder, "hall", pw);
    ASSERT_TRUE(waitUntil([&] { return again.rounds() >= 1 && allShipped(folder, "hall"); }))
        << ::testing::PrintToString(logLines());
    EXPECT_EQ(linesWith("they are sent again"), 1) << ::testing::PrintToString(logLines());
    again.stop();

    // Retention drops whole months that ended, never the month a time falls in.
    const std::int64_t rows = testing::countOf(db, "SELECT count(*) FROM minutes");
    EXPECT_EQ(testing::countOf(db,
                               "SELECT tev3p_drop_months_before('minutes', "
                               "'2026-12-31 23:59+00')"),
              0);
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM minutes"), rows);
    EXPECT_EQ(testing::countOf(db,
                               "SELECT tev3p_drop_months_before('minutes', "
                               "'2027-01-01 00:00+00')"),
              1);
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM minutes"), 0);
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM hours"),
              static_cast<std::int64_t>(testing::localRows(folder, "hours").size()));
    // A row of a month without a partition waits in the default one until its month is made.
    ASSERT_TRUE(
        db.run("INSERT INTO minutes (site, meter, t, n) VALUES ('hall', 'M', "
               "'2026-12-08 12:00+00', 1)",
               error))
        << error;
    EXPECT_EQ(testing::countOf(db,
                               "SELECT tev3p_month_partitions('minutes', '2026-12-08', "
                               "'2026-12-08')"),
              1);
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM minutes_2026_12"), 1);
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM minutes_default"), 0);
}

}  // namespace
}  // namespace tev::fleet
