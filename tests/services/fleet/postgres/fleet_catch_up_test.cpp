#include <gtest/gtest.h>

#include <cmath>

#include "services/archive/sqlite/archive_outbox.h"
#include "services/archive/sqlite/archive_writer.h"
#include "services/fleet/postgres/fleet_database.h"
#include "services/fleet/postgres/fleet_shipper.h"
#include "tests/services/archive/sqlite/archive_fixture.h"
#include "tests/services/fleet/postgres/fleet_rows.h"
#include "tests/services/fleet/postgres/postgres_fixture.h"

namespace tev::fleet {
namespace {

using archive::OutboxTable;
using tev::testing::PostgresServer;

std::vector<archive::PeriodRow> rowsOf(const std::string& meter, std::int64_t from, int minutes,
                                       double base) {
    std::vector<archive::PeriodRow> rows;
    for (int m = 0; m < minutes; ++m) {
        archive::PeriodRow& r = rows.emplace_back();
        r.meter = meter;
        r.t = from + 60 * m;
        for (std::size_t v = 0; v < r.values.size(); ++v) r.values[v] = base + m + 0.125 * v;
        r.values[3] = NAN;
    }
    return rows;
}

testing::PeriodTable tableOf(const std::vector<archive::PeriodRow>& rows) {
    testing::PeriodTable t;
    for (const archive::PeriodRow& r : rows) t[{r.meter, r.t}] = r.values;
    return t;
}

// Rows newer than anything of the site go straight into the table; where one is there after
// all, the whole batch goes through the staging table and the upsert instead: every row ends
// once, with the batch's values, and other sites' rows stay as they were.
TEST(FleetCatchUp, AStraightCopyThatMeetsARowAlreadyThereFallsBackToTheUpsert) {
    if (!PostgresServer::installed()) GTEST_FAIL() << "PostgreSQL is not installed";
    PostgresServer server;
    ASSERT_TRUE(server.start()) << server.log();
    const std::int64_t t0 = 1796688000;
    const auto batch = rowsOf("M1", t0, 30, 230);
    struct Case {
        const char* what;
        std::vector<archive::PeriodRow> before;     // the site's rows already in the table
        std::vector<archive::PeriodRow> elsewhere;  // another site's rows
        bool straight;
    };
    const Case cases[] = {
        {"an empty table", {}, {}, true},
        {"another site's rows at the same keys", {}, rowsOf("M1", t0, 30, 100), true},
        {"one row already there", rowsOf("M1", t0 + 60 * 17, 1, 999), {}, false},
        {"every row already there", rowsOf("M1", t0, 30, 500), rowsOf("M1", t0, 2, 7), false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "catchup" + std::to_string(n++);
        ASSERT_TRUE(server.createDatabase(name));
        PgConnection db;
        ASSERT_TRUE(server.connect(db, name));
        FleetDatabase fleet(db);
        std::string error;
        int found = 0;
        ASSERT_EQ(fleet.ensureSchema(found, error), FleetDatabase::Schema::Ready) << error;
        ASSERT_TRUE(fleet.prepareSession(error)) << error;
        ASSERT_TRUE(fleet.shipPeriods(OutboxTable::Minutes, "site", c.before, error)) << error;
        ASSERT_TRUE(fleet.shipPeriods(OutboxTable::Minutes, "other", c.elsewhere, error)) << error;
        ASSERT_TRUE(fleet.shipMeters("site", {{"M1", t0}}, error)) << error;
        std::optional<std::int64_t> latest;
        ASSERT_TRUE(fleet.latestRow(OutboxTable::Minutes, "site", latest, error)) << error;
        EXPECT_EQ(latest,
                  c.before.empty() ? std::nullopt : std::optional<std::int64_t>(c.before.back().t));

        bool straight = !c.straight;
        ASSERT_TRUE(fleet.shipNewPeriods(OutboxTable::Minutes, "site", batch, straight, error))
            << error;
        EXPECT_EQ(straight, c.straight);
        EXPECT_TRUE(testing::sameRows(testing::fleetRows(db, "site", "minutes"), tableOf(batch)));
        EXPECT_TRUE(
            testing::sameRows(testing::fleetRows(db, "other", "minutes"), tableOf(c.elsewhere)));
        ASSERT_TRUE(fleet.latestRow(OutboxTable::Minutes, "site", latest, error)) << error;
        EXPECT_EQ(latest, batch.back().t);
        // The connection goes on after the refused COPY.
        EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM minutes"),
                  static_cast<std::int64_t>(batch.size() + c.elsewhere.size()));
    }
}

// A shipper that knows of no row of its site (its meters are not listed) meets one in the
// middle of its catch-up: the archive's rows all arrive once, with the archive's values.
class FleetCatchUpShipping : public archive::testing::ArchiveFolder {};

TEST_F(FleetCatchUpShipping, ARowTheShipperDidNotKnowOfEndsWithTheArchivesValues) {
    if (!PostgresServer::installed()) GTEST_FAIL() << "PostgreSQL is not installed";
    PostgresServer server;
    ASSERT_TRUE(server.start()) << server.log();
    ASSERT_TRUE(server.createDatabase("fleet"));
    const std::int64_t end = archive::testing::at("2026-12-08T15:00");
    clock.setUnixSeconds(end);
    {
        archive::ArchiveWriter writer(options(), clock);
        writer.start();
        for (std::int64_t t = end - 3 * 3600; t < end; t += 20)
            writer.push(archive::testing::sampleAt("HOQ000000001", t, {230, 231, 229},
                                                   {1.5f, 2.0f, 0.25f}, 0.01f));
        writer.flush();
        writer.stop();
    }
    PgConnection db;
    ASSERT_TRUE(server.connect(db, "fleet"));
    {
        FleetDatabase fleet(db);
        std::string error;
        int found = 0;
        ASSERT_EQ(fleet.ensureSchema(found, error), FleetDatabase::Schema::Ready) << error;
        ASSERT_TRUE(fleet.prepareSession(error)) << error;
        // Minute rows in the middle of the archive's, with values the archive never had.
        ASSERT_TRUE(fleet.shipPeriods(OutboxTable::Minutes, "site",
                                      rowsOf("HOQ000000001", end - 7200, 5, -1), error))
            << error;
    }
    FleetShipperOptions o;
    o.settings.url = server.url("fleet");
    o.settings.site = "site";
    o.openOutbox = [this](std::string& error) { return archive::openArchiveOutbox(folder, error); };
    o.writtenThrough = [end] { return end + 2 * 86400; };
    o.roundMs = 100;
    setenv("PGPASSWORD", testing::kPostgresPassword, 1);
    FleetShipper shipper(o, clock);
    shipper.start();
    ASSERT_TRUE(testing::waitUntil([&] { return shipper.rounds() >= 1; }));
    shipper.stop();
    for (const char* table : {"minutes", "hours", "days"}) {
        const auto local = testing::localRows(folder, table);
        EXPECT_FALSE(local.empty()) << table;
        EXPECT_TRUE(testing::sameRows(local, testing::fleetRows(db, "site", table))) << table;
    }
}

}  // namespace
}  // namespace tev::fleet
