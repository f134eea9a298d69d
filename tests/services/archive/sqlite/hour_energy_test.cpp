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

// The evening figures read one meter's hour and minute rows over [from, to): its own rows
// only, the span's ends honoured, NULL cells as NaN, and an error for a missing file or a read
// already given up.
TEST_F(HourEnergy, OneMetersHourAndMinuteRowsOverASpan) {
    std::vector<std::string> lines;
    {
        SqliteDb db = openArchiveForWriting(archivePath(folder), lines);
        ASSERT_TRUE(db.isOpen());
        ASSERT_EQ(db.exec("INSERT INTO meters (id, first_seen) VALUES ('HOQ00000000A', 0), "
                          "('HOQ00000000B', 0);"
                          "INSERT INTO hours (meter, t, n, kwh, watt_mean, w1_mean, w2_mean, "
                          "w3_mean) VALUES ('HOQ00000000A', 0, 60, 9, 9000, 1, 2, 3),"
                          "('HOQ00000000A', 3600, 60, 1.5, 1500, 400, 500, 600),"
                          "('HOQ00000000A', 7200, 60, NULL, NULL, NULL, 20, NULL),"
                          "('HOQ00000000A', 10800, 60, 2, 2000, 1, 1, 1),"
                          "('HOQ00000000B', 3600, 60, 7, 7000, 7, 7, 7);"
                          "INSERT INTO minutes (meter, t, n, watt_mean) VALUES "
                          "('HOQ00000000A', 3540, 1, 5), ('HOQ00000000A', 3600, 1, 250),"
                          "('HOQ00000000A', 3660, 1, NULL), ('HOQ00000000B', 3600, 1, 9);"),
                  0);
    }
    std::string error;
    const HourRows hours = queryHourRows(folder, "HOQ00000000A", 3600, 10800, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(hours.time, (std::vector<std::int64_t>{3600, 7200}));
    ASSERT_EQ(hours.kwh.size(), 2u);
    ASSERT_EQ(hours.watts.size(), 2u);
    ASSERT_EQ(hours.phaseWatts.size(), 2u);
    EXPECT_EQ(hours.kwh[0], 1.5);
    EXPECT_EQ(hours.watts[0], 1500);
    EXPECT_EQ(hours.phaseWatts[0], (std::array<double, 3>{400, 500, 600}));
    EXPECT_TRUE(std::isnan(hours.kwh[1]));
    EXPECT_TRUE(std::isnan(hours.watts[1]));
    EXPECT_TRUE(std::isnan(hours.phaseWatts[1][0]));
    EXPECT_EQ(hours.phaseWatts[1][1], 20);

    const MinuteRows minutes = queryMinuteRows(folder, "HOQ00000000A", 3600, 7200, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(minutes.time, (std::vector<std::int64_t>{3600, 3660}));
    ASSERT_EQ(minutes.watts.size(), 2u);
    EXPECT_EQ(minutes.watts[0], 250);
    EXPECT_TRUE(std::isnan(minutes.watts[1]));
    EXPECT_TRUE(queryMinuteRows(folder, "HOQ00000000C", 0, 99999, error).time.empty());
    EXPECT_EQ(error, "");

    const ReadStop given(ReadStop::Clock::now() - std::chrono::seconds(1), nullptr);
    EXPECT_TRUE(queryHourRows(folder, "HOQ00000000A", 0, 99999, error, &given).time.empty());
    EXPECT_NE(error, "");
    // Through the queries a service takes from the app.
    const ArchiveQueries queries = sqliteArchiveQueries();
    EXPECT_EQ(queries.hourRows(folder, "HOQ00000000B", 0, 99999, error, nullptr).kwh,
              (std::vector<double>{7}));
    EXPECT_EQ(queries.minuteRows(folder, "HOQ00000000B", 0, 99999, error, nullptr).watts,
              (std::vector<double>{9}));
    std::filesystem::remove_all(folder);
    EXPECT_TRUE(queryMinuteRows(folder, "HOQ00000000A", 0, 99999, error).time.empty());
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
