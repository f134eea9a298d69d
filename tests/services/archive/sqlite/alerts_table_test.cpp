#include <gtest/gtest.h>
#include <sqlite3.h>

#include "archive_fixture.h"
#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/archive_reader.h"

namespace tev::archive {
namespace {

class AlertsTable : public testing::ArchiveFolder {
  protected:
    std::string text(std::string_view sql) {
        SqliteDb db;
        EXPECT_EQ(db.open(archivePath(folder), true, false), SQLITE_OK);
        return queryText(db, sql);
    }
};

TEST_F(AlertsTable, AVersionOneArchiveGainsTheAlertsTableAndKeepsItsRows) {
    // A file as the program before the alerts table left it: version 1, one minute row.
    {
        ArchiveWriter w(options(), clock);
        w.start();
        w.push(testing::sampleAt("M1", testing::at("2026-03-03T10:00"), {230, 230, 230}, {1, 1, 1},
                                 1));
        w.stop();
        SqliteDb db;
        ASSERT_EQ(db.open(archivePath(folder), false, false), SQLITE_OK);
        ASSERT_EQ(db.exec("DROP TABLE alerts; PRAGMA user_version = 1;"), SQLITE_OK);
    }
    ASSERT_EQ(text("SELECT count(*) FROM sqlite_master WHERE name = 'alerts'"), "0");

    std::vector<std::string> log;
    SqliteDb db = openArchiveForWriting(archivePath(folder), log);
    ASSERT_TRUE(db.isOpen());
    EXPECT_EQ(queryText(db, "PRAGMA user_version"), "2");
    EXPECT_EQ(queryText(db, "SELECT count(*) FROM sqlite_master WHERE name = 'alerts'"), "1");
    EXPECT_EQ(queryText(db, "SELECT count(*) FROM minutes WHERE meter = 'M1'"), "1");
    EXPECT_EQ(queryText(db, "SELECT count(*) FROM meters"), "1");
}

TEST_F(AlertsTable, StartsAndEndsWrittenByTheWriterAreReadBackAfterARestartOldestFirst) {
    EXPECT_TRUE(readRecentAlerts(archivePath(folder), 10).empty());  // no file yet
    {
        ArchiveWriter w(options(), clock);
        w.start();
        w.pushAlert({1000, "M1", "current", 1, true, 41.5, 40});
        w.pushAlert({9000, "M1", "current", 1, false, 39, 40});
        w.flush();
        w.pushAlert({12000, "M'2", "voltage", 3, true, 190.25, 207});
        w.stop();
    }
    ArchiveWriter again(options(), clock);
    again.start();
    const std::vector<AlertRecord> two = readRecentAlerts(archivePath(folder), 2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].timeMs, 9000);
    EXPECT_FALSE(two[0].started);
    EXPECT_EQ(two[1].meter, "M'2");
    EXPECT_EQ(two[1].rule, "voltage");
    EXPECT_EQ(two[1].phase, 3);
    EXPECT_TRUE(two[1].started);
    EXPECT_DOUBLE_EQ(two[1].value, 190.25);
    EXPECT_DOUBLE_EQ(two[1].threshold, 207);
    EXPECT_EQ(readRecentAlerts(archivePath(folder), 10).size(), 3u);
    again.stop();
}

}  // namespace
}  // namespace tev::archive
