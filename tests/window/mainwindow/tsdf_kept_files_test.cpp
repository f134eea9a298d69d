// Settings and records files that cannot be read, or are short, are kept from the next save
// and reported once, with the reason the system gives.

#include <filesystem>
#include <fstream>

#include "core/persistence/atomic_file.h"
#include "core/persistence/records_image.h"
#include "core/persistence/settings_file.h"
#include "tests/window/mainwindow/tsdf_fixture.h"

namespace tev::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::string error;
    bool missing = false;
    return readWholeFile(path, error, missing);
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class TsdfKeptFilesTest : public TsdfTest {
  protected:
    std::string dir() const { return workDir.path().toStdString(); }
    std::string records() const { return dir() + "/TEV3P_Records.dat"; }
    std::string settings() const { return dir() + "/TEV3P_Environ.dat"; }

    void restart() {
        sdf.reset();
        tones.tones.clear();
        sdf = std::make_unique<Tsdf>(seams(&tones));
    }
    std::vector<std::string> lines() const {
        const auto& l = sdf->eventLog().lines();
        return {l.begin(), l.end()};
    }
    std::vector<std::string> linesWith(const std::string& text) const {
        std::vector<std::string> found;
        for (const std::string& line : lines())
            if (line.find(text) != std::string::npos) found.push_back(line);
        return found;
    }
};

// A folder where the file should be cannot be read as a file, even by root.
void makeUnreadable(const std::string& path) {
    fs::create_directory(path);
    writeBytes(path + "/inside", {42});
}

TEST_F(TsdfKeptFilesTest, UnreadableSettingsGiveOneFailLineNoOkLineAndAreKeptFromTheSave) {
    makeUnreadable(settings());
    restart();
    const auto load = linesWith("Load TEV setting");
    ASSERT_EQ(load.size(), 1u);
    EXPECT_EQ(load[0],
              "240802 8:5 Load TEV setting 載入用戶設定 fail: cannot read: Is a directory !");
    EXPECT_EQ(linesWith("TEV3P_Environ.dat cannot be read"),
              (std::vector<std::string>{
                  "240802 8:5 TEV3P_Environ.dat cannot be read (cannot read: Is a directory): "
                  "nothing is loaded from it; it could not be copied (not a regular file), the "
                  "file is moved to <" +
                  settings() + ".damaged> !"}));
    // The save writes a new file; what could not be read is still there, untouched.
    sdf->close();
    EXPECT_EQ(fileBytes(settings()).size(), kSettingsFileSize);
    EXPECT_EQ(fileBytes(settings() + ".damaged/inside"), (std::vector<std::uint8_t>{42}));
}

TEST_F(TsdfKeptFilesTest, ShortSettingsFileLoadsItsWholeFieldsSaysSoOnceAndIsCopiedAside) {
    SettingsValues v;
    v.TotalKWh = 1234.5f;
    v.languageMode = 1;  // field 25, the last whole field of 100 bytes
    v.AvgWattKWh = 99.0f;
    const auto image = encodeSettings(v);
    const std::vector<std::uint8_t> cut(image.begin(), image.begin() + 102);
    writeBytes(settings(), cut);
    restart();
    EXPECT_EQ(sdf->store().live.TotalKWh, 1234.5f);
    EXPECT_EQ(sdf->languageMode(), LanguageMode::English);
    EXPECT_EQ(sdf->store().live.AvgWattKWh, 0.0f);
    EXPECT_EQ(linesWith("TEV3P_Environ.dat is"),
              (std::vector<std::string>{"240802 8:5 TEV3P_Environ.dat is 102 bytes, a settings "
                                        "file is 192: its 25 whole fields are loaded, the file "
                                        "is kept as <" +
                                        settings() + ".damaged> !"}));
    EXPECT_EQ(linesWith("Load TEV user setting OK !").size(), 1u);
    EXPECT_EQ(fileBytes(settings() + ".damaged"), cut);
    // Loading it again from the menu says nothing more and makes no second copy.
    sdf->LoadEnviorClick();
    EXPECT_EQ(linesWith("TEV3P_Environ.dat is").size(), 1u);
    EXPECT_FALSE(fs::exists(settings() + ".damaged-2"));

    // The save makes it whole; the next start says nothing more and keeps no second copy.
    sdf->close();
    restart();
    EXPECT_TRUE(linesWith("TEV3P_Environ.dat is").empty());
    EXPECT_FALSE(fs::exists(settings() + ".damaged-2"));
    EXPECT_EQ(fileBytes(settings() + ".damaged"), cut);
}

TEST_F(TsdfKeptFilesTest, AnEmptySettingsFileIsReportedAndKeptToo) {
    writeBytes(settings(), {});
    restart();
    EXPECT_EQ(linesWith("TEV3P_Environ.dat is 0 bytes, a settings file is 192: its 0 whole "
                        "fields are loaded")
                  .size(),
              1u);
    EXPECT_TRUE(fs::exists(settings() + ".damaged"));
}

TEST_F(TsdfKeptFilesTest, UnreadableRecordsFileGivesItsReasonAndNoSizeLine) {
    makeUnreadable(records());
    restart();
    EXPECT_EQ(linesWith("Load TEV3P Records"),
              (std::vector<std::string>{"240802 8:5 Load TEV3P Records 讀取電力記錄檔 fail: "
                                        "cannot read: Is a directory !"}));
    EXPECT_TRUE(linesWith("a records file is").empty());
    EXPECT_EQ(linesWith("TEV3P_Records.dat cannot be read"),
              (std::vector<std::string>{
                  "240802 8:5 TEV3P_Records.dat cannot be read (cannot read: Is a directory); "
                  "it could not be copied (not a regular file), the file is moved to <" +
                  records() + ".damaged> !"}));
}

TEST_F(TsdfKeptFilesTest, LoadDataWritesTheClampLineAsStartUpDoes) {
    auto store = std::make_unique<MeasurementStore>();
    store->table(TimeScale::Hour).cnt = 9000;
    store->table(TimeScale::Month).cnt = -4;
    ASSERT_TRUE(writeRecordsFile(records(), *store).ok);
    ASSERT_TRUE(writeRecordsFile(dir() + "/other.dat", *store).ok);
    restart();
    const std::vector<std::string> startUp = linesWith("is out of range");
    EXPECT_EQ(startUp, (std::vector<std::string>{
                           "240802 8:5 TEV3P_Records.dat: row count 9000 of table 4 is out of "
                           "range, 4999 used !",
                           "240802 8:5 TEV3P_Records.dat: row count -4 of table 7 is out of "
                           "range, 0 used !"}));

    sdf->eventLog().clear();
    files.answer(dir() + "/other.dat");
    sdf->LoadDataClick();
    EXPECT_EQ(sdf->store().table(TimeScale::Hour).cnt, 4999);
    const auto l = lines();
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(l.end() - 3, l.end()),
              (std::vector<std::string>{
                  "240802 8:5 other.dat: row count 9000 of table 4 is out of range, 4999 used !",
                  "240802 8:5 other.dat: row count -4 of table 7 is out of range, 0 used !", ""}));
}

}  // namespace
}  // namespace tev::testing
