#include <sqlite3.h>

#include <array>
#include <cmath>
#include <fstream>
#include <sstream>

#include "services/archive/sqlite/archive_export.h"
#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/archive_outbox.h"
#include "services/archive/sqlite/archive_reader.h"
#include "services/archive/sqlite/sqlite_db.h"
#include "tests/services/archive/sqlite/archive_fixture.h"

namespace tev::archive {
namespace {

using testing::at;
using testing::sampleAt;

class Archive : public testing::ArchiveFolder {
  protected:
    ArchiveSeries read(const char* meter, Resolution r, std::vector<std::string> q = {}) {
        std::string error;
        ArchiveSeries s = queryArchiveSeries(folder, {meter, r, std::move(q), {}, {}}, error);
        EXPECT_EQ(error, "");
        return s;
    }
    std::int64_t count(const std::string& sql) {
        SqliteDb db;
        EXPECT_EQ(db.open(archivePath(folder), true, false), SQLITE_OK);
        return std::atoll(queryText(db, sql).c_str());
    }
};

TEST_F(Archive, AScriptedDayEndGivesHandComputedMinuteHourAndDayRows) {
    const char* id = "A1B2C3D4E5F6";
    ArchiveWriter w(options(), clock);
    w.start();
    w.push(sampleAt(id, at("2026-01-31T23:59:10"), {230, 231, 229}, {1, 2, 3}, 5.0f));
    w.flush();  // the minute is written in two parts, merged by the file
    w.push(sampleAt(id, at("2026-01-31T23:59:40"), {232, 229, 229}, {3, 2, 1}, 5.1f));
    w.push(sampleAt(id, at("2026-02-01T00:00:20"), {228, 230, 231}, {2, 2, 2}, 0.05f));
    w.flush();
    w.push(sampleAt(id, at("2026-02-01T00:07:05"), {230, 230, 230}, {1, 1, 1}, 0.30f));
    w.stop();

    const ArchiveSeries m =
        read(id, Resolution::Minute,
             {"V1", "V1_min", "V1_max", "A3_max", "W1", "Watt", "DayKWh", "Energy", "Messages"});
    ASSERT_EQ(m.time.size(), 3u);  // the silent minutes have no rows
    EXPECT_EQ(m.time[0], at("2026-01-31T23:59:00"));
    EXPECT_EQ(m.time[1], at("2026-02-01T00:00:00"));
    EXPECT_EQ(m.time[2], at("2026-02-01T00:07:00"));
    EXPECT_NEAR(m.values[0][0], 231, 1e-4);
    EXPECT_NEAR(m.values[1][0], 230, 1e-4);
    EXPECT_NEAR(m.values[2][0], 232, 1e-4);
    EXPECT_NEAR(m.values[3][0], 3, 1e-6);
    EXPECT_NEAR(m.values[4][0], (230 * 1 + 232 * 3) * 0.86 / 2, 1e-3);
    EXPECT_NEAR(m.values[5][0], 0.86 * (1379 + 1383) / 2, 1e-3);
    EXPECT_NEAR(m.values[6][0], 5.1, 1e-6);
    // A new meter's first reading is the baseline: its 5.0 kWh so far were used before.
    EXPECT_NEAR(m.values[7][0], 0.1, 1e-6);
    EXPECT_EQ(m.values[8][0], 2);
    EXPECT_NEAR(m.values[7][1], 0.05, 1e-6);
    EXPECT_NEAR(m.values[7][2], 0.25, 1e-6);

    const ArchiveSeries h =
        read(id, Resolution::Hour, {"V1", "V1_min", "V1_max", "DayKWh", "Energy", "Messages"});
    ASSERT_EQ(h.time.size(), 2u);
    EXPECT_EQ(h.time[0], at("2026-01-31T23:00"));
    EXPECT_EQ(h.time[1], at("2026-02-01T00:00"));
    EXPECT_NEAR(h.values[0][1], 229, 1e-4);  // (228 + 230) / 2
    EXPECT_NEAR(h.values[1][1], 228, 1e-4);
    EXPECT_NEAR(h.values[2][1], 230, 1e-4);
    EXPECT_NEAR(h.values[3][1], 0.30, 1e-6);
    EXPECT_NEAR(h.values[4][1], 0.30, 1e-6);
    EXPECT_EQ(h.values[5][1], 2);

    const ArchiveSeries d = read(id, Resolution::Day, {"Energy", "DayKWh", "Messages", "V1"});
    ASSERT_EQ(d.time.size(), 2u);
    EXPECT_EQ(d.time[0], at("2026-01-31"));
    EXPECT_EQ(d.time[1], at("2026-02-01"));
    EXPECT_NEAR(d.values[0][0], 0.1, 1e-6);
    EXPECT_NEAR(d.values[1][0], 5.1, 1e-6);
    EXPECT_EQ(d.values[2][0], 2);
    EXPECT_NEAR(d.values[3][0], 231, 1e-4);
    EXPECT_NEAR(d.values[0][1], 0.30, 1e-6);

    // After a restart the same day goes on from the day energy already counted.
    ArchiveWriter again(options(), clock);
    again.start();
    again.push(sampleAt(id, at("2026-02-01T00:09:00"), {230, 230, 230}, {1, 1, 1}, 0.40f));
    again.stop();
    const ArchiveSeries d2 = read(id, Resolution::Day, {"Energy", "Messages"});
    EXPECT_NEAR(d2.values[0][1], 0.40, 1e-6);
    EXPECT_EQ(d2.values[1][1], 3);
}

TEST_F(Archive, ThreeMetersAreRecordedSeparatelyEvenWhenTheirIdsDifferInOneCharacter) {
    ArchiveWriter w(options(), clock);
    w.start();
    const char* ids[] = {"A1B2C3D4E5F6", "A1B2C3D4E5F7", "0000FFFF0001"};
    for (int i = 0; i < 90; ++i)
        for (int m = 0; m < 3; ++m)
            w.push(sampleAt(ids[m], at("2026-05-04T08:00:00") + i * 2, {200.0f + m * 10, 230, 230},
                            {1, 1, 1}, 1.0f + 0.01f * i));
    w.stop();
    for (int m = 0; m < 3; ++m) {
        const ArchiveSeries s = read(ids[m], Resolution::Minute, {"V1", "Messages"});
        ASSERT_EQ(s.time.size(), 3u) << ids[m];
        EXPECT_NEAR(s.values[0][0], 200.0 + m * 10, 1e-4);
        EXPECT_EQ(s.values[1][0] + s.values[1][1] + s.values[1][2], 90);
    }
    std::string error;
    EXPECT_EQ(archivedMeters(folder, error),
              (std::vector<std::string>{"0000FFFF0001", "A1B2C3D4E5F6", "A1B2C3D4E5F7"}));
    EXPECT_TRUE(read("A1B2C3D4E5F", Resolution::Minute).time.empty());
}

TEST_F(Archive, RetentionDeletesOnlyRowsOlderThanTheSetting) {
    const std::int64_t now = at("2026-06-01T12:00");
    {
        clock.setUnixSeconds(at("2000-01-01"));  // nothing is old yet
        ArchiveWriter w(options(), clock);
        w.start();
        for (int day : {3651, 3649, 36, 34, 1})
            w.push(sampleAt("M", now - day * 86400LL, {230, 230, 230}, {1, 1, 1}, 1));
        w.stop();
    }
    EXPECT_EQ(count("SELECT count(*) FROM minutes"), 5);
    clock.setUnixSeconds(now);
    ArchiveWriterOptions o = options();
    o.settings.minuteDays = 35;
    o.settings.hourDays = 3650;
    ArchiveWriter w(o, clock);
    w.start();
    w.flush();  // the first round prunes
    w.stop();
    EXPECT_EQ(count("SELECT count(*) FROM minutes"), 2);
    EXPECT_EQ(count("SELECT min(t) FROM minutes"), now - 34 * 86400LL);
    EXPECT_EQ(count("SELECT count(*) FROM hours"), 4);
    EXPECT_EQ(count("SELECT min(t) FROM hours"), localHourStart(now - 3649 * 86400LL));
    EXPECT_EQ(count("SELECT count(*) FROM days"), 5);  // day rows are kept for good
}

TEST_F(Archive, TheDayFileIsImportedOnceAndAgainChangesNothing) {
    {
        std::ofstream f(folder + "/M10_A1B2C3D4E5F6.txt", std::ios::binary);
        for (int date : {260301, 260302}) {
            f << date << ",7.00,";
            for (int s = 0; s < 144; ++s) f << (s < 100 ? 0.01 * (s + 1) : 0.0) << ",";
            f << "\r";
        }
    }
    for (int run = 0; run < 2; ++run) {
        ArchiveWriter w(options(), clock);
        w.start();
        w.push(sampleAt("A1B2C3D4E5F6", at("2026-03-03T10:00"), {230, 230, 230}, {1, 1, 1}, 1));
        w.push(sampleAt("OTHER0000000", at("2026-03-03T10:00"), {230, 230, 230}, {1, 1, 1}, 1));
        w.stop();
        EXPECT_EQ(count("SELECT count(*) FROM ten_minutes"), 200) << run;
        EXPECT_NEAR(std::stod([&] {
                        SqliteDb db;
                        db.open(archivePath(folder), true, false);
                        return queryText(db, "SELECT sum(kwh) FROM ten_minutes");
                    }()),
                    2.0, 1e-6);
    }
    // Even with the mark gone, rows are not doubled.
    {
        SqliteDb db;
        ASSERT_EQ(db.open(archivePath(folder), false, false), SQLITE_OK);
        ASSERT_EQ(db.exec("UPDATE meters SET day_file_imported = 0"), SQLITE_OK);
    }
    ArchiveWriter w(options(), clock);
    w.start();
    w.push(sampleAt("A1B2C3D4E5F6", at("2026-03-03T10:01"), {230, 230, 230}, {1, 1, 1}, 1));
    w.stop();
    EXPECT_EQ(count("SELECT count(*) FROM ten_minutes"), 200);
    int taken = 0;
    for (const auto& l : logLines())
        taken += l.find("taken from its day file") != std::string::npos;
    EXPECT_EQ(taken, 2);
}

TEST_F(Archive, ADamagedFileIsSetAsideAndANewOneStarted) {
    {
        std::ofstream f(archivePath(folder), std::ios::binary);
        f << std::string(8192, 'x');
    }
    ArchiveWriter w(options(), clock);
    w.start();
    w.push(sampleAt("M", at("2026-03-03T10:00"), {230, 230, 230}, {1, 1, 1}, 1));
    w.stop();
    EXPECT_TRUE(std::filesystem::exists(archivePath(folder) + ".damaged"));
    EXPECT_EQ(std::filesystem::file_size(archivePath(folder) + ".damaged"), 8192u);
    ASSERT_FALSE(logLines().empty());
    EXPECT_NE(logLines()[0].find("kept as TEV3P_Archive.sqlite.damaged, a new archive started"),
              std::string::npos)
        << logLines()[0];
    EXPECT_EQ(count("SELECT count(*) FROM minutes"), 1);
    EXPECT_EQ(count("PRAGMA user_version"), kArchiveSchemaVersion);
    EXPECT_EQ(count("SELECT count(*) FROM pragma_journal_mode WHERE journal_mode = 'wal'"), 1);
}

TEST_F(Archive, AFullQueueDropsTheOldestAndSaysSoOncePerEpisode) {
    ArchiveWriterOptions o = options();
    o.queueCapacity = 4;
    ArchiveWriter w(o, clock);
    for (int i = 0; i < 10; ++i)  // before the thread runs, so nothing is taken meanwhile
        w.push(sampleAt("M", at("2026-03-03T10:00") + i * 60, {230, 230, 230}, {1, 1, 1}, 1));
    w.start();
    w.flush();
    w.stop();
    EXPECT_EQ(w.droppedCount(), 6u);
    EXPECT_EQ(count("SELECT min(t) FROM minutes"), at("2026-03-03T10:06"));
    int lines = 0;
    for (const auto& l : logLines())
        if (l.find("queue full") != std::string::npos) {
            ++lines;
            EXPECT_NE(l.find(" 6 meter messages dropped"), std::string::npos) << l;
        }
    EXPECT_EQ(lines, 1);
}

TEST_F(Archive, ExportWritesTheTidyCsvOrJsonOfOneMeterAndTellsAMissingArchive) {
    ArchiveWriter w(options(), clock);
    w.start();
    w.push(sampleAt("A1B2C3D4E5F6", at("2026-03-03T10:00:05"), {230, 231, 232}, {1, 2, 3}, 1.5f));
    w.push(sampleAt("A1B2C3D4E5F6", at("2026-03-03T11:00:05"), {230, 231, 232}, {1, 2, 3}, 2.0f));
    w.stop();
    ArchiveExportRequest request;
    request.folder = folder;
    request.query.meter = "A1B2C3D4E5F6";
    request.query.from = at("2026-03-03T10:30:00");
    std::ostringstream out, err;
    EXPECT_EQ(runArchiveExport(request, out, err), 0) << err.str();
    std::istringstream lines(out.str());
    std::string header, row, extra;
    std::getline(lines, header);
    std::getline(lines, row);
    EXPECT_FALSE(std::getline(lines, extra));
    EXPECT_EQ(header.substr(0, 30), "time,V1_V,V1_min_V,V1_max_V,V2");
    EXPECT_EQ(row.substr(0, 30), "2026-03-03T11:00:00+01:00,230,");
    EXPECT_NE(row.back(), ',');
    EXPECT_EQ(std::count(header.begin(), header.end(), ','),
              std::count(row.begin(), row.end(), ','));

    std::ostringstream json;
    request.query.resolution = Resolution::Day;
    request.query.from.reset();
    request.json = true;
    EXPECT_EQ(runArchiveExport(request, json, err), 0);
    EXPECT_EQ(json.str().substr(0, 62),
              "{\"meter\":\"A1B2C3D4E5F6\",\"resolution\":\"day\",\"time\":[1772492400]");

    std::ostringstream o, e;
    request.folder = folder + "/none";
    EXPECT_EQ(runArchiveExport(request, o, e), 1);
    EXPECT_NE(e.str().find("TEV3P_Archive.sqlite is not in"), std::string::npos);
}

// A meter silent for two hours on a Wednesday morning: the return minute keeps the 2 kWh it
// counted, the hour rows get it by their share of (06:30:30, 08:30:30]. The 07:00 hour had no
// reading: it holds energy only, its readings NULL. Rows merge in both orders: a piece into an
// hour with readings (06:00), readings into an hour that began as a piece (08:00).
TEST_F(Archive, HourRowsHoldTheEvenPiecesAndNullReadingsForAWhollySilentHour) {
    const char* id = "SIL000000001";
    {
        ArchiveWriter w(options(), clock);
        w.start();
        w.push(sampleAt(id, at("2026-03-04T06:30:00"), {230, 230, 230}, {1, 1, 1}, 1.0f));
        w.push(sampleAt(id, at("2026-03-04T06:30:30"), {232, 230, 230}, {1, 1, 1}, 1.1f));
        w.flush();
        // A fleet sink that has shipped every row so far.
        std::string error;
        ASSERT_NE(openArchiveOutbox(folder, error), nullptr) << error;
        SqliteDb db;
        ASSERT_EQ(db.open(archivePath(folder), false, false), SQLITE_OK);
        ASSERT_EQ(db.exec("UPDATE outbox SET shipped_through = 1900000000"), SQLITE_OK);
        w.push(sampleAt(id, at("2026-03-04T08:30:30"), {220, 230, 230}, {2, 1, 1}, 3.1f));
        w.flush();
        w.push(sampleAt(id, at("2026-03-04T08:31:00"), {226, 230, 230}, {4, 1, 1}, 3.2f));
        w.stop();
    }
    // Messages, Energy, V1, V1_min, V1_max, A1, DayKWh; the silent hour has no readings.
    const double none = NAN;
    const std::pair<Resolution, std::vector<std::array<double, 7>>> tables[] = {
        {Resolution::Hour,
         {{2, 0.1 + 2.0 * 1770 / 7200, 231, 230, 232, 1, 1.1},
          {0, 2.0 * 3600 / 7200, none, none, none, none, none},
          {2, 2.0 * 1830 / 7200 + 0.1, 223, 220, 226, 3, 3.2}}},
        {Resolution::Minute,
         {{2, 0.1, 231, 230, 232, 1, 1.1},
          {1, 2.0, 220, 220, 220, 2, 3.1},
          {1, 0.1, 226, 226, 226, 4, 3.2}}},
        {Resolution::Day, {{4, 2.2, 227, 220, 232, 2, 3.2}}}};
    for (const auto& [resolution, rows] : tables) {
        const ArchiveSeries s =
            read(id, resolution, {"Messages", "Energy", "V1", "V1_min", "V1_max", "A1", "DayKWh"});
        ASSERT_EQ(s.time.size(), rows.size()) << resolutionName(resolution);
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t q = 0; q < rows[r].size(); ++q)
                if (std::isnan(rows[r][q]))
                    EXPECT_TRUE(std::isnan(s.values[q][r])) << r << s.quantities[q]->name;
                else
                    EXPECT_NEAR(s.values[q][r], rows[r][q], 1e-5) << r << s.quantities[q]->name;
    }
    // In the file the silent hour's readings are NULL, every one of them, never 0.
    std::string nonNull = "SELECT count(*) FROM hours WHERE n = 0 AND (0";
    for (const std::string& c : periodColumns())
        if (c != "n" && c != "kwh") nonNull += " OR " + c + " IS NOT NULL";
    EXPECT_EQ(count(nonNull + ")"), 0);
    EXPECT_EQ(count("SELECT count(*) FROM hours WHERE n = 0"), 1);
    // The hours and the day the silence's energy went to are shipped again.
    EXPECT_EQ(count("SELECT shipped_through FROM outbox WHERE tbl = 'hours'"),
              at("2026-03-04T06:00"));
    EXPECT_EQ(count("SELECT shipped_through FROM outbox WHERE tbl = 'days'"), at("2026-03-04"));
    EXPECT_EQ(count("SELECT shipped_through FROM outbox WHERE tbl = 'minutes'"), 1900000000);
}

}  // namespace
}  // namespace tev::archive
