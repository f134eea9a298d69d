#include <gtest/gtest.h>

#include "archive_fixture.h"
#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/archive_reader.h"

namespace tev::archive::testing {
namespace {

using HourEnergy = ArchiveFolder;

// The costs per meter read every archived meter's hours from a moment on, and the first hour
// it ever had (for its standing charges), including meters that have no hour in the window.
TEST_F(HourEnergy, EveryMeterWithItsHoursFromAMomentOnAndItsFirstHourOfAll) {
    std::vector<std::string> lines;
    {
        SqliteDb db = openArchiveForWriting(archivePath(folder), lines);
        ASSERT_TRUE(db.isOpen());
        ASSERT_EQ(db.exec("INSERT INTO meters (id, first_seen) VALUES ('HOQ00000000B', 0), "
                          "('HOQ00000000A', 0), ('HOQ00000000C', 0);"
                          "INSERT INTO hours (meter, t, n, kwh) VALUES "
                          "('HOQ00000000A', 1000, 60, 1.5), ('HOQ00000000A', 5000, 60, 2),"
                          "('HOQ00000000A', 3000, 60, NULL), ('HOQ00000000B', 900, 60, 7);"),
                  0);
    }
    std::string error;
    const std::vector<MeterEnergy> meters = queryHourEnergy(folder, 2000, error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(meters.size(), 3u);
    EXPECT_EQ(meters[0].meter, "HOQ00000000A");
    EXPECT_EQ(meters[0].firstRow, 1000);
    EXPECT_EQ(meters[0].time, (std::vector<std::int64_t>{3000, 5000}));
    EXPECT_EQ(meters[0].kwh, (std::vector<double>{0.0, 2.0}));
    EXPECT_EQ(meters[1].meter, "HOQ00000000B");
    EXPECT_EQ(meters[1].firstRow, 900);
    EXPECT_TRUE(meters[1].time.empty());
    EXPECT_EQ(meters[2].meter, "HOQ00000000C");
    EXPECT_EQ(meters[2].firstRow, 0);

    std::filesystem::remove_all(folder);
    EXPECT_TRUE(queryHourEnergy(folder, 0, error).empty());
    EXPECT_NE(error, "");
}

}  // namespace
}  // namespace tev::archive::testing
