#include "app/records_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "app/export_arguments.h"
#include "core/persistence/records_image.h"
#include "core/recordsio/csv_export.h"
#include "services/web/rules/tidy_csv.h"
#include "tests/services/web/rules/webapi_fixture.h"

namespace tev::app {
namespace {

class RecordsExport : public ::testing::Test {
  protected:
    void SetUp() override {
        web::testing::useBerlinTime();
        folder = std::filesystem::temp_directory_path() /
                 ("tev3p-export-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    ParsedExport<RecordsExportRequest> parsed(std::vector<std::string> extra) {
        std::vector<std::string> args = {"--folder", folder.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return parseRecordsExportArguments(args);
    }
    RecordsExportRequest request(std::vector<std::string> extra) {
        return parsed(std::move(extra)).request;
    }

    std::filesystem::path folder;
};

TEST_F(RecordsExport, ReadsTheFoldersRecordsFileIntoBothCsvs) {
    auto store = std::make_unique<MeasurementStore>();
    ScaleTable& day = store->table(TimeScale::Day);
    web::testing::putRow(day, 0, 261206, 0, 1);
    web::testing::putRow(day, 1, 261207, 0, 2);
    web::testing::putRow(day, 2, 261208, 0, 3);  // live
    day.cnt = 2;
    ASSERT_TRUE(writeRecordsFile((folder / kRecordsFileName).string(), *store).ok);
    const auto before = std::filesystem::last_write_time(folder / kRecordsFileName);

    const RecordsExportResult original =
        exportRecordsFromFolder(request({"--scale", "day", "--format", "original"}));
    EXPECT_EQ(original.error, "");
    EXPECT_EQ(original.csv, exportCsv(day));
    const RecordsExportResult tidy =
        exportRecordsFromFolder(request({"--scale=day", "--format=tidy"}));
    EXPECT_EQ(tidy.csv, web::tidyCsv(day, false));
    EXPECT_EQ(std::count(tidy.csv.begin(), tidy.csv.end(), '\n'), 3);
    EXPECT_NE(tidy.csv.find("\n2026-12-07T00:00:00+01:00,"), std::string::npos);
    const RecordsExportResult live =
        exportRecordsFromFolder(request({"--scale", "day", "--format", "tidy", "--live"}));
    EXPECT_NE(live.csv.find("\n2026-12-08T00:00:00+01:00,"), std::string::npos);
    // Only read: the file is as it was.
    EXPECT_EQ(std::filesystem::last_write_time(folder / kRecordsFileName), before);
}

TEST_F(RecordsExport, AMissingOrShortRecordsFileIsAnErrorNotAnEmptyCsv) {
    RecordsExportResult r =
        exportRecordsFromFolder(request({"--scale", "day", "--format", "tidy"}));
    EXPECT_NE(r.error.find("no records file"), std::string::npos);
    EXPECT_EQ(r.csv, "");
    std::ofstream(folder / kRecordsFileName) << "short";
    r = exportRecordsFromFolder(request({"--scale", "day", "--format", "tidy"}));
    EXPECT_NE(r.error, "");
    EXPECT_EQ(r.csv, "");
}

TEST_F(RecordsExport, ArgumentsAreCheckedBeforeAnythingIsRead) {
    EXPECT_TRUE(
        parsed({"--scale", "m5", "--format", "original", "--output", "x.csv"}).problems.empty());
    EXPECT_EQ(request({"--scale", "m5", "--format", "original", "--output", "x.csv"}).output,
              "x.csv");
    EXPECT_FALSE(parsed({"--scale", "year", "--format", "tidy"}).problems.empty());
    EXPECT_FALSE(parsed({"--scale", "day", "--format", "xlsx"}).problems.empty());
    EXPECT_FALSE(parsed({"--scale", "day"}).problems.empty());
    EXPECT_FALSE(parsed({"--scale", "day", "--format", "original", "--live"}).problems.empty());
    EXPECT_FALSE(parsed({"--scale", "day", "--format", "tidy", "--bogus"}).problems.empty());
    EXPECT_FALSE(
        parseRecordsExportArguments({"--scale", "day", "--format", "tidy"}).problems.empty());
    EXPECT_FALSE(parsed({"--scale"}).problems.empty());
}

}  // namespace
}  // namespace tev::app
