#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "app/export_command.h"
#include "app/records_export.h"
#include "core/persistence/records_image.h"
#include "core/store/measurement_store.h"
#include "services/archive/sqlite/archive_file.h"

namespace tev::app {
namespace {

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// `tev3p export --format tidy` prices each row under the folder's [tariff]; the original CSV
// of the same folder is not touched by it.
TEST(ExportCosts, TidyExportGainsACostColumnFromTheFoldersTariffAndOriginalStaysAsItWas) {
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tev3p-export-costs-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    auto store = std::make_unique<MeasurementStore>();
    ScaleTable& day = store->table(TimeScale::Day);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < kQuantityCount; ++c) day.setValue(c, r, 1.0f);
        day.setDate(r, 261206 + r);
        day.setValue(kColKWh, r, 10.0f * static_cast<float>(r + 1));
    }
    day.cnt = 2;
    ASSERT_TRUE(writeRecordsFile((folder / kRecordsFileName).string(), *store).ok);
    const auto run = [&](const char* format, const char* out) {
        return runExportCommand({"--folder", folder.string(), "--scale", "day", "--format", format,
                                 "--output", (folder / out).string()});
    };
    ASSERT_EQ(run("original", "before.csv"), 0);
    {
        std::ofstream ini(folder / "tev3p.ini");
        ini << "[tariff]\ncurrency=EUR\nprice_per_kwh=0.30\nstanding_charge_per_day=0.25\n";
    }
    ASSERT_EQ(run("tidy", "tidy.csv"), 0);
    ASSERT_EQ(run("original", "after.csv"), 0);

    const std::string tidy = readAll(folder / "tidy.csv");
    EXPECT_NE(tidy.find(",Vac3_V,cost_EUR\n"), std::string::npos) << tidy;
    // 10 kWh x 0.30 + 0.25, then 20 kWh x 0.30 + 0.25.
    EXPECT_NE(tidy.find(",3.2500\n"), std::string::npos) << tidy;
    EXPECT_NE(tidy.find(",6.2500\n"), std::string::npos) << tidy;
    EXPECT_EQ(readAll(folder / "after.csv"), readAll(folder / "before.csv"));
    std::filesystem::remove_all(folder);
}

// `tev3p export --meter` writes the archive's rows with a cost column under the folder's
// tariff, and without one when the folder has no prices.
TEST(ExportCosts, ArchiveExportOfOneMeterGainsACostColumnUnderTheFoldersTariff) {
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tev3p-export-meter-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    {
        std::vector<std::string> lines;
        archive::SqliteDb db =
            archive::openArchiveForWriting(archive::archivePath(folder.string()), lines);
        // 2026-12-08 06:00 and 07:00 in Berlin.
        ASSERT_EQ(db.exec("INSERT INTO meters (id, first_seen) VALUES ('HOQ00000000A', 0);"
                          "INSERT INTO hours (meter, t, n, kwh) VALUES "
                          "('HOQ00000000A', 1796706000, 60, 2), "
                          "('HOQ00000000A', 1796709600, 60, 1);"),
                  0);
    }
    const auto run = [&] {
        std::ostringstream captured;
        std::streambuf* old = std::cout.rdbuf(captured.rdbuf());
        const int status = runExportCommand(
            {"--folder", folder.string(), "--meter", "HOQ00000000A", "--resolution", "hour"});
        std::cout.rdbuf(old);
        EXPECT_EQ(status, 0);
        return captured.str();
    };
    const std::string plain = run();
    EXPECT_NE(plain.find(",Messages_count\n"), std::string::npos) << plain;
    {
        std::ofstream ini(folder / "tev3p.ini");
        ini << "[tariff]\ncurrency=EUR\nprice_per_kwh=0.30\nband_1=mon-fri 07:00-22:00 0.50\n";
    }
    const std::string priced = run();
    EXPECT_NE(priced.find(",Messages_count,cost_EUR\n"), std::string::npos) << priced;
    // 2 kWh before seven at 0.30, 1 kWh after at 0.50.
    EXPECT_NE(priced.find("2026-12-08T06:00:00+01:00,"), std::string::npos) << priced;
    EXPECT_NE(priced.find(",60,0.6000\n"), std::string::npos) << priced;
    EXPECT_NE(priced.find(",60,0.5000\n"), std::string::npos) << priced;
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tev::app
