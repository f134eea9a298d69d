// The desktop session's save request and the event log's echo for a terminal or a journal.
#include <QTimer>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/persistence/atomic_file.h"
#include "core/persistence/records_image.h"
#include "core/persistence/settings_file.h"
#include "tests/window/mainwindow/tsdf_fixture.h"

namespace tev::testing {
namespace {

std::uint32_t firstCell(const std::string& path) {
    std::string error;
    bool missing = false;
    const std::vector<std::uint8_t> bytes = readWholeFile(path, error, missing);
    std::uint32_t v = 0;
    if (bytes.size() >= 4) std::memcpy(&v, bytes.data(), 4);
    return v;
}

struct RecordingLineOutput : LineOutput {
    void writeLine(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

using TsdfSessionTest = TsdfTest;

TEST_F(TsdfSessionTest, SaveRequestOfALogoutSavesBothFilesAndRecordingGoesOnUntilTheRealClose) {
    const std::string records = workDir.filePath("TEV3P_Records.dat").toStdString();
    const std::string settings = workDir.filePath("TEV3P_Environ.dat").toStdString();
    sdf->store().table(TimeScale::Min).cnt = 3;
    const std::size_t logLines = sdf->eventLog().lines().size();

    sdf->commitData();
    // Saved as the hourly save saves: no tone, no wait, no log line.
    EXPECT_EQ(firstCell(records), 3u);
    EXPECT_EQ(std::filesystem::file_size(settings), kSettingsFileSize);
    EXPECT_TRUE(pause.waits.empty());
    EXPECT_TRUE(tones.tones.empty());
    EXPECT_EQ(sdf->eventLog().lines().size(), logLines);
    // The logout was cancelled: the tick still runs and the roll-up goes on.
    EXPECT_FALSE(sdf->hasShutDown());
    EXPECT_TRUE(sdf->timer()->isActive());
    clock.set(2024, 8, 2, 8, 6, 0);
    sdf->Timer1Timer();

    // The real end later still saves, with its tone, waits and lines.
    sdf->store().table(TimeScale::Min).cnt = 5;
    sdf->close();
    EXPECT_EQ(firstCell(records), 5u);
    EXPECT_EQ(pause.waits, (std::vector<int>{1000, 1000}));
    EXPECT_FALSE(sdf->timer()->isActive());
    // A save request after the end saves nothing more.
    sdf->store().table(TimeScale::Min).cnt = 6;
    sdf->commitData();
    EXPECT_EQ(firstCell(records), 5u);
}

TEST_F(TsdfSessionTest, EveryLogLineReachesStandardOutputAsTheMemoShowsIt) {
    RecordingLineOutput out;
    sdf.reset();
    WindowSeams p = seams(&tones);
    p.standardOutput = &out;
    sdf = std::make_unique<Tsdf>(p);
    // The start-up lines, from the settings line on (the log's initial empty line is not one).
    const auto& lines = sdf->eventLog().lines();
    ASSERT_FALSE(out.lines.empty());
    EXPECT_EQ(out.lines, std::vector<std::string>(lines.end() - out.lines.size(), lines.end()));
    EXPECT_NE(out.lines.back().find("TEV3P Startup"), std::string::npos);
    sdf->eventLog().append("HQ2: one more");
    EXPECT_EQ(out.lines.back(), "HQ2: one more");
}

}  // namespace
}  // namespace tev::testing
