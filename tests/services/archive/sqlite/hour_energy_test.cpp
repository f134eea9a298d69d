#include <gtest/gtest.h>

#include <cmath>

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
                          "('HOQ00000000A', 1000, 60, 1.5),"
                          "('HOQ00000000A', 3000, 60, NULL), ('HOQ00000000B', 900, 60, 7);"
                          "INSERT INTO hours (meter, t, n, kwh, w1_mean, w2_mean, w3_mean) VALUES "
                          "('HOQ00000000A', 5000, 60, 2, 100, 200, 300);"),
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
    // Each hour's phase powers, for the energy per phase; none where the row has none.
    ASSERT_EQ(meters[0].phaseWatts.size(), 2u);
    EXPECT_TRUE(std::isnan(meters[0].phaseWatts[0][0]));
    EXPECT_EQ(meters[0].phaseWatts[1], (std::array<double, 3>{100, 200, 300}));
    EXPECT_EQ(meters[1].meter, "HOQ00000000B");
    EXPECT_EQ(meters[1].firstRow, 900);
    EXPECT_TRUE(meters[1].time.empty());
    EXPECT_EQ(meters[2].meter, "HOQ00000000C");
    EXPECT_EQ(meters[2].firstRow, 0);

    std::filesystem::remove_all(folder);
    EXPECT_TRUE(queryHourEnergy(folder, 0, error).empty());
    EXPECT_NE(error, "");
}

// The writer's hour rows of this week and this month equal the file's after every commit: as
// hours fill, when the month turns (the rows before the week's Sunday go), and in a new writer
// that reads them at its start.
TEST_F(HourEnergy, TheWritersPeriodHoursEqualTheFileAfterEachCommitAndAtTheStart) {
    auto expectSame = [&](const ArchiveWriter& w, std::int64_t now) {
        std::string error;
        const std::vector<MeterEnergy> file = queryHourEnergy(folder, periodHoursFrom(now), error);
        const std::vector<MeterEnergy> held = w.periodHours();
        ASSERT_EQ(held.size(), file.size());
        for (std::size_t i = 0; i < file.size(); ++i) {
            EXPECT_EQ(held[i].meter, file[i].meter);
            EXPECT_EQ(held[i].firstRow, file[i].firstRow);
            EXPECT_EQ(held[i].time, file[i].time);
            EXPECT_EQ(held[i].kwh, file[i].kwh);
            // NaN (no phase power) compares unequal to itself: the cells are compared as text.
            auto cells = [](const std::vector<std::array<double, 3>>& watts) {
                std::string out;
                for (const auto& w : watts)
                    for (const double v : w) out += numberText(v) + ",";
                return out;
            };
            EXPECT_EQ(cells(held[i].phaseWatts), cells(file[i].phaseWatts));
        }
    };
    // The last one follows a silence, whose energy goes back into the hours before it.
    const char* moments[] = {"2026-12-01T10:00", "2026-12-28T10:00", "2026-12-31T23:58",
                             "2027-01-01T00:30", "2027-01-01T03:10"};
    clock.setUnixSeconds(at(moments[0]));
    auto writer = std::make_unique<ArchiveWriter>(options(), clock);
    writer->start();
    float count = 0;
    for (const char* moment : moments) {
        SCOPED_TRACE(moment);
        const std::int64_t t = at(moment);
        clock.setUnixSeconds(t);
        for (const char* id : {"HOQ00000000A", "HOQ00000000B"}) {
            for (std::int64_t s = 0; s < 180; s += 30)
                writer->push(sampleAt(id, t + s, {230, 230, 230}, {1, 1, 1}, count += 0.25f));
        }
        writer->flush();
        expectSame(*writer, t);
    }
    // On New Year's Day the week (from Sunday 27 December) reaches back further than the month.
    ASSERT_FALSE(writer->periodHours().empty());
    EXPECT_EQ(writer->periodHours()[0].time.front(), at("2026-12-28T10:00"));
    EXPECT_EQ(writer->periodHours()[0].firstRow, at("2026-12-01T10:00"));
    writer->stop();
    writer = std::make_unique<ArchiveWriter>(options(), clock);
    writer->start();
    expectSame(*writer, at(moments[4]));
    EXPECT_FALSE(writer->periodHoursOf("HOQ00000000C").has_value());
}

}  // namespace
}  // namespace tev::archive::testing
