#include <gtest/gtest.h>
#include <sqlite3.h>

#include "archive_fixture.h"
#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/archive_reader.h"

namespace tev::archive::testing {
namespace {

using ReadStops = ArchiveFolder;

// A reader's query ends with an error once its stop says so, whether the owner is stopping or
// the deadline has passed; a stop that has not come leaves the read alone. A query that would
// run for ages (a billion-row count) is cut off all the same.
TEST_F(ReadStops, AQueryIsGivenUpOnceItsStopSaysSo) {
    std::vector<std::string> lines;
    {
        SqliteDb db = openArchiveForWriting(archivePath(folder), lines);
        ASSERT_TRUE(db.isOpen());
        ASSERT_EQ(db.exec("INSERT INTO meters (id, first_seen) VALUES ('HOQ00000000A', 0);"
                          "INSERT INTO hours (meter, t, n, kwh) VALUES "
                          "('HOQ00000000A', 1000, 60, 1.5);"),
                  0);
    }
    const auto later = ReadStop::Clock::now() + std::chrono::hours(1);
    const auto past = ReadStop::Clock::now() - std::chrono::seconds(1);
    const struct {
        bool ownerStopping;
        ReadStop::Clock::time_point deadline;
        bool givenUp;
    } cases[] = {{false, later, false}, {true, later, true}, {false, past, true}};
    for (const auto& c : cases) {
        const ReadStop stop(c.deadline, std::make_shared<std::atomic<bool>>(c.ownerStopping));
        std::string error;
        SeriesQuery query{"HOQ00000000A", Resolution::Hour, {"Energy"}, {}, {}, &stop};
        const ArchiveSeries s = queryArchiveSeries(folder, query, error);
        EXPECT_EQ(!error.empty(), c.givenUp) << error;
        EXPECT_EQ(s.time.size(), c.givenUp ? 0u : 1u);
        const std::vector<MeterEnergy> meters = queryHourEnergy(folder, 0, error, &stop);
        EXPECT_EQ(!error.empty(), c.givenUp) << error;
        EXPECT_EQ(stop.gaveUp(), c.givenUp);

        SqliteDb db;
        ASSERT_EQ(db.open(archivePath(folder), true, false), SQLITE_OK);
        db.interruptWhen(&stop);
        SqliteStatement endless(db,
                                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                "WHERE i < 1000000000) SELECT count(*) FROM n");
        if (c.givenUp) {
            EXPECT_EQ(endless.step(), SQLITE_INTERRUPT);
        }
    }
}

}  // namespace
}  // namespace tev::archive::testing
