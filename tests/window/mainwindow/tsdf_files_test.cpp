#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/persistence/atomic_file.h"
#include "core/persistence/records_image.h"
#include "core/persistence/settings_file.h"
#include "tests/window/mainwindow/tsdf_fixture.h"
#include "window/mainwindow/clickable_label.h"

namespace tev::testing {
namespace {

namespace fs = std::filesystem;

const std::string kCountZero =
    "< Min= 0  5-Min= 0  10-Min= 0  Hour= 0  Day= 0  Week= 0  Month= 0 > ";

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::string error;
    bool missing = false;
    return readWholeFile(path, error, missing);
}

std::uint32_t cellAt(const std::vector<std::uint8_t>& b, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class TsdfFilesTest : public TsdfTest {
  protected:
    std::string dir() const { return workDir.path().toStdString(); }
    std::string records() const { return dir() + "/TEV3P_Records.dat"; }
    std::string settings() const { return dir() + "/TEV3P_Environ.dat"; }

    // Starts the program anew in the same folder, as a user would.
    void restart() {
        sdf.reset();
        tones.tones.clear();
        sdf = std::make_unique<Tsdf>(seams(&tones));
    }
    void writeSettings(const SettingsValues& v) {
        const auto image = encodeSettings(v);
        writeBytes(settings(), std::vector<std::uint8_t>(image.begin(), image.end()));
    }
    SettingsValues decodedSettings() const {
        SettingsValues v;
        decodeSettings(fileBytes(settings()), v);
        return v;
    }
    std::vector<std::string> lines() const {
        const auto& l = sdf->eventLog().lines();
        return {l.begin(), l.end()};
    }
};

TEST_F(TsdfFilesTest, FirstRunInAnEmptyFolderLogsInOrderAndBeepsTwoScaleLabels) {
    restart();
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "", "240802 8:5 Load TEV setting 載入用戶設定 OK !", kCountZero,
                           "240802 8:5 Load TEV3P Records 讀取電力記錄檔 OK !", "",
                           "2024/8/2 8:5 > TEV3P Startup 啟動 OK ! "}));
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 150}, {1600, 150}}));
    EXPECT_EQ(sdf->languageMode(), LanguageMode::Bilingual);
    EXPECT_EQ(sdf->pos(), QPoint(0, 0));
    for (int c = 1; c <= 2; ++c) {
        EXPECT_EQ(sdf->view().channel(c).timeScale, TimeScale::Hour);
        EXPECT_EQ(sdf->view().channel(c).quantity, Quantity::None);
        EXPECT_EQ(sdf->view().channel(c).span, 10);
    }
    EXPECT_EQ(sdf->store().calendar.WeekStartCode, 240802);
    EXPECT_EQ(sdf->controls().Date_lb->text(), QString::fromUtf8("2024年 8月 2日      "));
    // Nothing is written until the program closes.
    EXPECT_FALSE(fs::exists(records()));
    EXPECT_FALSE(fs::exists(settings()));
}

TEST_F(TsdfFilesTest, ClosingSavesSettingsThenRecordsWithTheStartDayAndTwoWaits) {
    sdf->store().live.TotalKWh = 12.5f;
    sdf->store().table(TimeScale::Min).cnt = 3;
    // Saved after midnight: field 5 is still the day the program started.
    clock.set(2024, 8, 3, 0, 1, 0);
    sdf->close();
    EXPECT_EQ(pause.waits, (std::vector<int>{1000, 1000}));
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}}));
    const auto l = lines();
    ASSERT_GE(l.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(l.end() - 5, l.end()),
              (std::vector<std::string>{
                  "240803 0:1 Save TEV setting 用戶設定儲存 OK !", "",
                  "240803 0:1 Save HOQ TEV3P records= 記錄儲存 OK !",
                  "< Min= 3  5-Min= 0  10-Min= 0  Hour= 0  Day= 0  Week= 0  Month= 0 > ", ""}));

    const auto s = fileBytes(settings());
    ASSERT_EQ(s.size(), 192u);
    EXPECT_EQ(cellAt(s, 16), 240802u);
    float total = 0;
    std::memcpy(&total, s.data() + 12, 4);
    EXPECT_EQ(total, 12.5f);
    EXPECT_EQ(cellAt(s, 24), 4u);    // CH1 on Hour
    EXPECT_EQ(cellAt(s, 96), 3u);    // bilingual
    EXPECT_EQ(cellAt(s, 116), 10u);  // CH1 span of Hour
    const auto r = fileBytes(records());
    ASSERT_EQ(r.size(), kRecordsFileSize);
    EXPECT_EQ(cellAt(r, 0), 3u);
    // Closing again (the end of the event loop after a signal) saves nothing more.
    sdf->FormClose();
    EXPECT_EQ(pause.waits.size(), 2u);
}

TEST_F(TsdfFilesTest, RestartBringsBackTablesChannelsSpansLanguageAndTotals) {
    MeasurementStore& st = sdf->store();
    st.table(TimeScale::Day).cnt = 5;
    st.table(TimeScale::Day).raw(kColDate, 4) = 240801;
    st.table(TimeScale::Min).setValue(kColV1, 0, 231.25f);
    st.live.TotalKWh = 321.5f;
    st.live.K2 = 1.25f;
    st.live.WeekKWh = 7.5f;
    ViewState& v = sdf->view();
    v.channel(1).quantity = Quantity::Watt;
    v.channel(1).spanPerScale[4] = 40;
    v.channel(2).quantity = Quantity::V1;
    sdf->timeScaleLabelClick(1, TimeScale::Day);
    sdf->timeScaleLabelClick(2, TimeScale::Min);
    sdf->setLanguageMode(LanguageMode::English);
    sdf->close();

    clock.set(2024, 8, 2, 17, 30, 0);  // later the same day
    restart();
    const MeasurementStore& back = sdf->store();
    EXPECT_EQ(back.table(TimeScale::Day).cnt, 5);
    EXPECT_EQ(back.table(TimeScale::Day).raw(kColDate, 4), 240801u);
    EXPECT_EQ(back.table(TimeScale::Min).value(kColV1, 0), 231.25f);
    EXPECT_EQ(back.live.TotalKWh, 321.5f);
    EXPECT_EQ(back.live.K2, 1.25f);
    EXPECT_EQ(back.live.WeekKWh, 7.5f);
    EXPECT_EQ(sdf->view().channel(1).quantity, Quantity::Watt);
    EXPECT_EQ(sdf->view().channel(1).timeScale, TimeScale::Day);
    EXPECT_EQ(sdf->view().channel(1).span, 40);
    EXPECT_EQ(sdf->view().channel(2).timeScale, TimeScale::Min);
    EXPECT_EQ(sdf->view().channel(2).span, 100);
    EXPECT_EQ(sdf->languageMode(), LanguageMode::English);
    EXPECT_EQ(sdf->controls().Date_lb->text(), "2024 / 8 / 2");
    EXPECT_EQ(lines().back(), "2024/8/2 17:30 > TEV3P Startup OK ! ");
    EXPECT_EQ(sdf->controls().scaleLabel(1, TimeScale::Week)->text().toStdString().substr(0, 4),
              "WEEK");
}

TEST_F(TsdfFilesTest, LoadingAppliesSyncScalesDefaultSpansDayRuleAndWeekStart) {
    SettingsValues v;
    v.StartDayCode = 240801;  // written on another start day
    v.K1 = 1, v.K2 = 2, v.K3 = 3, v.TotalKWh = 99;
    v.AvgAmpK1 = 4, v.AvgWattK3 = 5, v.AvgAmpKWh = 6;
    v.syncChannels = 1;
    v.ch1TimeScale = 5;  // Day
    v.ch2TimeScale = 4;  // Hour, applied last and copied to CH1
    v.ch1Quantity = 8;
    v.WeekStartCode = 0;
    writeSettings(v);
    restart();
    const ViewState& view = sdf->view();
    EXPECT_EQ(view.channel(1).timeScale, TimeScale::Hour);
    EXPECT_EQ(view.channel(2).timeScale, TimeScale::Hour);
    EXPECT_EQ(view.channel(1).spanPerScale, (std::array<int, 7>{100, 50, 20, 10, 10, 10, 10}));
    EXPECT_EQ(view.channel(1).span, 10);
    EXPECT_EQ(view.channel(1).title, "Watt 總功率");
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 150}, {1600, 150}}));
    EXPECT_EQ(sdf->controls().Syn_CH->palette().color(QPalette::ButtonText), QColor(255, 0, 0));
    const LiveReadings& l = sdf->store().live;
    EXPECT_EQ(l.K1 + l.K2 + l.K3 + l.AvgAmpK1 + l.AvgWattK3, 0.0f);
    EXPECT_EQ(l.TotalKWh, 99.0f);
    EXPECT_EQ(l.AvgAmpKWh, 6.0f);
    EXPECT_EQ(sdf->store().calendar.WeekStartCode, 240802);
}

TEST_F(TsdfFilesTest, ChineseOnlyStartLogsOnlyTheCountAndEmptyLines) {
    SettingsValues v;
    v.languageMode = 2;
    writeSettings(v);
    restart();
    EXPECT_EQ(lines(), (std::vector<std::string>{"", kCountZero, ""}));
    EXPECT_EQ(sdf->languageMode(), LanguageMode::Chinese);
}

TEST_F(TsdfFilesTest, DamagedSettingsAreRepairedLanguageSpansAndAnOffScreenPosition) {
    SettingsValues v;
    v.languageMode = 9;
    v.ch2Spans = {-1, -2, -3, -50, 0, 0, 0};
    v.windowLeft = -30000;
    v.windowTop = 50000;
    writeSettings(v);
    restart();
    EXPECT_EQ(sdf->languageMode(), LanguageMode::Bilingual);
    EXPECT_EQ(sdf->view().channel(2).span, 10);
    EXPECT_EQ(sdf->view().channel(2).spanPerScale[0], 100);
    EXPECT_EQ(sdf->pos(), QPoint(Tsdf::kInitialLeft, Tsdf::kInitialTop));

    v.languageMode = 3;
    v.windowLeft = 120;
    v.windowTop = 40;
    writeSettings(v);
    restart();
    EXPECT_EQ(sdf->pos(), QPoint(120, 40));
}

TEST_F(TsdfFilesTest, SaveDataAppendsDatExtensionEvenWhenPresent) {
    files.answer(records());
    sdf->SaveDataClick();
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].fileName, records());
    EXPECT_EQ(files.requests[0].filter, "*.dat");
    EXPECT_EQ(fs::file_size(records() + ".dat"), kRecordsFileSize);
    EXPECT_FALSE(fs::exists(records()));
    const auto l = lines();
    EXPECT_EQ(std::vector<std::string>(l.end() - 4, l.end()),
              (std::vector<std::string>{
                  "", kCountZero,
                  "240802 8:5 Save TEV3P records <" + records() + ".dat> 記錄儲存 OK !", ""}));
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}}));

    // A cancelled dialog: no file, no line, no tone.
    const std::size_t before = lines().size();
    sdf->SaveDataClick();
    EXPECT_EQ(lines().size(), before);
    EXPECT_EQ(tones.tones.size(), 1u);
}

TEST_F(TsdfFilesTest, SaveDataThatCannotBeWrittenIsReportedAndNotLoggedAsOk) {
    files.answer(dir() + "/no-such-folder/x");
    sdf->SaveDataClick();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find("could not be saved"), std::string::npos);
    const std::string last = lines()[lines().size() - 2];
    EXPECT_NE(last.find("記錄儲存 fail: cannot create"), std::string::npos) << last;
    EXPECT_EQ(last.find("OK"), std::string::npos);
    EXPECT_TRUE(tones.tones.empty());
}

TEST_F(TsdfFilesTest, LoadDataRefusesAFileOfTheWrongSizeAndKeepsTheStore) {
    sdf->store().table(TimeScale::Hour).cnt = 7;
    const std::string photo = dir() + "/photo.dat";
    writeBytes(photo, std::vector<std::uint8_t>(1000, 0xFF));
    files.answer(photo);
    sdf->LoadDataClick();
    EXPECT_EQ(sdf->store().table(TimeScale::Hour).cnt, 7);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find("1000 bytes"), std::string::npos);
    EXPECT_NE(lines().back().find("fail: the file is 1000 bytes"), std::string::npos);
    EXPECT_TRUE(tones.tones.empty());

    // A whole records file loads, with its lines and the 1300 Hz tone.
    auto other = std::make_unique<MeasurementStore>();
    other->table(TimeScale::Hour).cnt = 42;
    ASSERT_TRUE(writeRecordsFile(dir() + "/good.dat", *other).ok);
    files.answer(dir() + "/good.dat");
    sdf->LoadDataClick();
    EXPECT_EQ(sdf->store().table(TimeScale::Hour).cnt, 42);
    const auto l = lines();
    EXPECT_EQ(std::vector<std::string>(l.end() - 5, l.end()),
              (std::vector<std::string>{
                  "", "240802 8:5 Load HOQ TEV3P Records 讀取電力記錄器 OK !",
                  "< Min= 0  5-Min= 0  10-Min= 0  Hour= 42  Day= 0  Week= 0  Month= 0 > ",
                  "240802 8:5 Load TEV3P records <" + dir() + "/good.dat> 讀取記錄 OK !", ""}));
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1300, 200}}));
}

TEST_F(TsdfFilesTest, ShortRecordsFileAtStartUpIsReadAsFarAsItGoesAndKeptAside) {
    auto full = std::make_unique<MeasurementStore>();
    full->table(TimeScale::Min).cnt = 9;
    full->table(TimeScale::Min).setValue(kColV2, 0, 222.5f);
    std::vector<std::uint8_t> image = encodeRecords(*full);
    image.resize(1000);
    writeBytes(records(), image);
    restart();
    EXPECT_EQ(sdf->store().table(TimeScale::Min).cnt, 9);
    EXPECT_EQ(sdf->store().table(TimeScale::Min).value(kColV2, 0), 222.5f);
    EXPECT_EQ(fileBytes(records() + ".damaged"), image);
    int reports = 0;
    for (const std::string& line : lines())
        if (line.find("kept as <" + records() + ".damaged>") != std::string::npos) ++reports;
    EXPECT_EQ(reports, 1);
    // The first save replaces the cut file with a whole one; the copy stays.
    sdf->close();
    EXPECT_EQ(fs::file_size(records()), kRecordsFileSize);
    EXPECT_EQ(fileBytes(records() + ".damaged"), image);
}

TEST_F(TsdfFilesTest, RegistryExportWithoutMetersSaysSoAndWithMetersWritesThemFramed) {
    sdf->saf_bClick();
    auto l = lines();
    EXPECT_EQ(std::vector<std::string>(l.end() - 2, l.end()),
              (std::vector<std::string>{"No record to save exit !", ""}));
    EXPECT_TRUE(files.requests.empty());

    MeterRegistry& reg = sdf->store().registry;
    reg.MeterCount = 2;
    reg.rows[0].Id.assign("HOQ000000001");
    reg.rows[1].Id.assign("HOQ000000002");
    files.answer(dir() + "/RDS_Records.dat");
    sdf->saf_bClick();
    EXPECT_EQ(files.requests.back().fileName, dir() + "/RDS_Records.dat");
    const auto b = fileBytes(dir() + "/RDS_Records.dat");
    ASSERT_EQ(b.size(), 4u + 2 * 9400u);
    EXPECT_EQ(cellAt(b, 0), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[4 + 9400]), 12), "HOQ000000002");
    const std::string dashes(71, '-');
    l = lines();
    EXPECT_EQ(
        std::vector<std::string>(l.end() - 5, l.end()),
        (std::vector<std::string>{"", dashes, "Save HOQ-250 AC3P records= 2  OK !", dashes, ""}));
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}}));
}

TEST_F(TsdfFilesTest, EveryWholeHourSavesBothFilesSilently) {
    clock.set(2024, 8, 2, 8, 59, 58);
    sdf->Timer1Timer();
    EXPECT_FALSE(fs::exists(records()));
    const std::size_t before = lines().size();
    clock.set(2024, 8, 2, 9, 0, 0);
    sdf->Timer1Timer();
    EXPECT_EQ(fs::file_size(records()), kRecordsFileSize);
    EXPECT_EQ(fs::file_size(settings()), 192u);
    EXPECT_EQ(lines().size(), before);
    EXPECT_TRUE(tones.tones.empty());
    // Once an hour: the next seconds do not save again.
    fs::remove(records());
    clock.set(2024, 8, 2, 9, 0, 1);
    sdf->Timer1Timer();
    EXPECT_FALSE(fs::exists(records()));
}

TEST_F(TsdfFilesTest, SettingsMenuCommandsSaveWithToneAndLoadWithoutMovingTheWindow) {
    sdf->SaveEnviorClick();
    EXPECT_EQ(lines().back(), "240802 8:5 Save TEV setting 用戶設定儲存 OK !");
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}}));
    SettingsValues v = decodedSettings();
    EXPECT_EQ(v.languageMode, 3);
    v.windowLeft = 300;
    v.ch1Reserved = 1234;
    writeSettings(v);
    const QPoint at = sdf->pos();
    sdf->LoadEnviorClick();
    EXPECT_EQ(sdf->pos(), at);
    EXPECT_EQ(lines().back(), "240802 8:5 Load TEV setting 載入用戶設定 OK !");
    // The reserved field goes back out as it came in.
    sdf->SaveEnviorClick();
    EXPECT_EQ(decodedSettings().ch1Reserved, 1234);
}

}  // namespace
}  // namespace tev::testing
