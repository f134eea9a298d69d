#include <sys/stat.h>

#include <QFile>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/recordsio/csv_export.h"
#include "tests/core/recordsio/ten_minute_csv.h"
#include "tests/window/records/trecord_fixture.h"

namespace tev::testing {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

class TRecordFilesTest : public TRecordTest {
  protected:
    std::string dir() const { return workDir.path().toStdString(); }

    // Some old recorded data that an import must not lose by mistake.
    void recordSomething() {
        ScaleTable& min = table(TimeScale::Min);
        min.setDate(0, 240802);
        min.setTime(0, 485);
        min.setValue(kColV1, 0, 229.5f);
        min.setDate(1, 240802);
        min.setTime(1, 486);
        min.setValue(kColKWh, 1, 12.5f);
        min.cnt = 1;
        ScaleTable& day = table(TimeScale::Day);
        day.setDate(0, 240802);
        day.setValue(kColKWh, 0, 40.0f);
        day.cnt = 1;
    }

    std::string tenDays() const {
        std::string text = tenMinuteHeader(true);
        for (int d = 1; d <= 10; ++d) text += dayLine(240800 + d, dayValues(d));
        return text;
    }
};

const std::string kBanner = "   < TEV-3P Electricity Monitor System >  Records   \r\n";

TEST_F(TRecordFilesTest, OutputWithoutAScaleRefusesWithTwoTonesAndNoDialog) {
    record->output_bClick();
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}, {1300, 200}}));
    EXPECT_TRUE(files.requests.empty());
}

TEST_F(TRecordFilesTest, OutputWritesTheScaleAndLogsTheCountLine) {
    recordSomething();
    record->min_lClick();
    tones.tones.clear();
    const std::size_t logLines = sdf->eventLog().lines().size();
    const std::string path = dir() + "/minutes.csv";
    writeFile(path, std::string(5000, 'x'));  // an earlier, longer export
    files.answer(path);
    record->output_bClick();

    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].initialDirectory, dir());
    EXPECT_EQ(files.requests[0].fileName, dir() + "/TEV3P_Records_Minute.csv");
    EXPECT_EQ(files.requests[0].filter, "*.csv");
    const std::string expected =
        kBanner + "   Minute Records= 1    \r\n" +
        "Date, Time, KWh, K1, K2, K3, Amp, A1, A2, A3, Watt, W1, W2, W3, Vac1, Vac2, Vac3 \r\n" +
        "240802,8:6,12.50,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0,0,0,0,0,0,0,\r\n" +
        "240802,8:5,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0.00,0,0,0,0,230,0,0,\r\n\r\n\r\n";
    EXPECT_EQ(readFile(path), expected);
    ASSERT_EQ(sdf->eventLog().lines().size(), logLines + 1);
    EXPECT_EQ(sdf->eventLog().lines().back(),
              "240802 8:5 > TEV-3P Output   Minute Records= 1      OK !");
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 300}}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path + ".tmp")));
}

TEST_F(TRecordFilesTest, OutputThroughASymbolicLinkKeepsTheLinkTheModeAndAFileNamedTmp) {
    recordSomething();
    record->day_lClick();
    const std::string real = dir() + "/shared/days.csv";
    std::filesystem::create_directory(dir() + "/shared");
    writeFile(real, "old");
    ASSERT_EQ(::chmod(real.c_str(), 0664), 0);
    const std::string link = dir() + "/days.csv";
    std::filesystem::create_symlink("shared/days.csv", link);
    writeFile(link + ".tmp", "the user's own file");
    files.answer(link);
    record->output_bClick();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(readFile(real).find("Day Records= 1"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0664u);
    EXPECT_EQ(readFile(link + ".tmp"), "the user's own file");
}

TEST_F(TRecordFilesTest, OutputCancelledDoesNothing) {
    record->week_lClick();
    tones.tones.clear();
    const std::size_t logLines = sdf->eventLog().lines().size();
    files.cancel();
    record->output_bClick();
    EXPECT_EQ(files.requests.back().fileName, dir() + "/TEV3P_Records_Week.csv");
    EXPECT_TRUE(tones.tones.empty());
    EXPECT_EQ(sdf->eventLog().lines().size(), logLines);
}

TEST_F(TRecordFilesTest, OutputThatCannotBeWrittenIsReportedAsFailed) {
    record->day_lClick();
    tones.tones.clear();
    files.answer(dir() + "/no such folder/days.csv");
    record->output_bClick();
    const std::string& line = sdf->eventLog().lines().back();
    EXPECT_EQ(line.rfind("240802 8:5 > TEV-3P Output   Day Records= 0      failed: ", 0), 0u)
        << line;
    EXPECT_EQ(line.find("OK !"), std::string::npos);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, "warn");
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}, {1300, 200}}));
}

TEST_F(TRecordFilesTest, InputAnsweredNoChangesNothing) {
    recordSomething();
    auto before = std::make_unique<MeasurementStore>(store());
    messages.yes = false;
    record->input_bClick();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "TEV-3P Load Record File");
    EXPECT_EQ(messages.shown[0].text,
              "Warning: Load HOQ Record File & Cover All Data ?\n\n"
              "讀取檔案前 請儲存備份: 確定覆蓋現有資料 ? ");
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1500, 300}}));
    EXPECT_TRUE(files.requests.empty());
    EXPECT_TRUE(sameTables(*before, store()));
}

TEST_F(TRecordFilesTest, InputCancelledLeavesStoreLinkAndLogAsTheyWere) {
    recordSomething();
    auto before = std::make_unique<MeasurementStore>(store());
    const auto logBefore = sdf->eventLog().lines();
    files.cancel();
    record->input_bClick();
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].initialDirectory, dir());
    EXPECT_EQ(files.requests[0].fileName, dir());
    EXPECT_EQ(files.requests[0].filter, "*.csv");
    EXPECT_TRUE(sameTables(*before, store()));
    EXPECT_EQ(sdf->linkFlag(), 1);
    EXPECT_EQ(sdf->eventLog().lines(), logBefore);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1500, 300}}));
}

TEST_F(TRecordFilesTest, InputOfARefusedFileLogsTheRefusalAndKeepsEverything) {
    recordSomething();
    auto before = std::make_unique<MeasurementStore>(store());
    const std::string big = dir() + "/HOQ_Power10Min_big.csv";
    writeFile(big, std::string(1200001, '1'));
    files.answer(big);
    record->input_bClick();
    const auto& lines = sdf->eventLog().lines();
    EXPECT_EQ(lines.back(), "> File Size= 1200001 > Max. 12MB exit ! ");
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1500, 300}, {1600, 200}, {1300, 200}}));
    EXPECT_TRUE(sameTables(*before, store()));
    EXPECT_EQ(sdf->linkFlag(), 1);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text,
              big +
                  " holds 1200001 bytes; at most 1200000 bytes can be imported.\n"
                  "Nothing was imported; the recorded data is unchanged.");

    const std::string empty = dir() + "/HOQ_Power10Min_empty.csv";
    writeFile(empty, tenMinuteHeader(true) + "240801,1,2,3,\r\n");
    files.answer(empty);
    record->input_bClick();
    EXPECT_TRUE(sameTables(*before, store()));
    EXPECT_EQ(sdf->linkFlag(), 1);
    EXPECT_EQ(messages.shown.back().text,
              empty +
                  " holds no day line of ten-minute values.\n"
                  "Nothing was imported; the recorded data is unchanged.");
}

TEST_F(TRecordFilesTest, InputWithAValueThatIsNoNumberNamesLineAndFieldAndKeepsEverything) {
    recordSomething();
    auto before = std::make_unique<MeasurementStore>(store());
    std::vector<std::string> values = dayValues(2);
    values[143] = "12,5";  // a decimal comma: "12" then "5" … and the 23:50 value is "12"
    values[20] = "n/a";    // value 21, under 3:20, field 22
    const std::string path = dir() + "/HOQ_Power10Min_bad.csv";
    writeFile(path,
              tenMinuteHeader(true) + dayLine(240801, dayValues(1)) + dayLine(240802, values));
    files.answer(path);
    record->input_bClick();
    EXPECT_TRUE(sameTables(*before, store()));
    EXPECT_EQ(sdf->linkFlag(), 1);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].kind, "warn");
    EXPECT_EQ(messages.shown[1].text,
              "Line 3, field 22 (3:20) of " + path +
                  ": 'n/a' is not a valid number.\nNothing was imported; the recorded data is "
                  "unchanged.");
    EXPECT_EQ(sdf->eventLog().lines().back().find("<240802,"), 0u);
}

TEST_F(TRecordFilesTest, InputOfANamedPipeIsRefusedWithoutWaitingAndNamesThePath) {
    recordSomething();
    auto before = std::make_unique<MeasurementStore>(store());
    const std::string pipe = dir() + "/HOQ_Power10Min_pipe.csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    files.answer(pipe);
    // A pipe nobody writes to: an import that opened it blocking would never return here.
    record->input_bClick();
    EXPECT_TRUE(sameTables(*before, store()));
    EXPECT_EQ(sdf->linkFlag(), 1);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text,
              pipe +
                  " is not a regular file (a folder, a named pipe or a device); only a "
                  "ten-minute CSV file can be imported.\n"
                  "Nothing was imported; the recorded data is unchanged.");
    EXPECT_EQ(sdf->eventLog().lines().back(), "> " + pipe + " is not a regular file exit ! ");
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1500, 300}, {1600, 200}, {1300, 200}}));
}

TEST_F(TRecordFilesTest, InputOfTenDaysSwitchesTheLinkOffAndRebuildsTheTables) {
    recordSomething();
    record->week_lClick();
    tones.tones.clear();
    const std::string path = dir() + "/HOQ_Power10Min_august.csv";
    const std::string text = tenDays();
    writeFile(path, text);
    files.answer(path);
    clock.set(2024, 8, 12, 9, 7, 0);
    record->input_bClick();

    EXPECT_EQ(sdf->linkFlag(), 0);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1500, 300}, {1200, 200}, {1600, 500}}));
    const auto& lines = sdf->eventLog().lines();
    // The link goes off first, then come the file's lines and the closing lines.
    const auto off = std::find(lines.begin(), lines.end(), "TCP/IP OFF-Line !");
    ASSERT_NE(off, lines.end());
    EXPECT_EQ(*(off + 1), "");
    ASSERT_GE(lines.size(), 18u);
    std::vector<std::string> added(lines.end() - 18, lines.end());
    EXPECT_LT(off, lines.end() - 18);
    EXPECT_EQ(added[0], "<" + path + ">");
    EXPECT_EQ(added[4], "> File Size= " + std::to_string(text.size()));
    EXPECT_EQ(added[5], "> 辨識檔案內容為 HOQ 十分鐘檔內容 OK ! ");
    EXPECT_EQ(added[6].substr(0, 8), "<240801,");
    EXPECT_EQ(added[15].substr(0, 8), "<240810,");
    EXPECT_EQ(added[16], "240812 9:7 > TEV-3P Read File_ [" + path + "]  OK !");
    EXPECT_EQ(added[17], "dx_cnt= 1440");

    EXPECT_EQ(table(TimeScale::Min).cnt, 0);
    EXPECT_EQ(table(TimeScale::Min).raw(kColV1, 0), 0u);
    EXPECT_EQ(table(TimeScale::M10).cnt, 1440);
    EXPECT_EQ(table(TimeScale::Hour).cnt, 240);
    EXPECT_EQ(table(TimeScale::Day).cnt, 10);
    EXPECT_EQ(table(TimeScale::Week).cnt, 1);
    EXPECT_EQ(table(TimeScale::Month).cnt, 1);
    // The grid shows the rebuilt Week table: the live row of days 8 … 10 first.
    EXPECT_EQ(record->recordScale(), 6);
    EXPECT_EQ(cell(0, 0), "2");
    EXPECT_EQ(cell(1, 1), "240810");
    EXPECT_EQ(cell(1, 3), "27.4");  // 8.144 + 9.144 + 10.144
    EXPECT_EQ(cell(2, 1), "240807");

    record->hour_lClick();
    // The empty live row heads the list; the last imported hour closes at 24:0.
    EXPECT_EQ(cell(1, 1), "0");
    EXPECT_EQ(cell(2, 1), "240810");
    EXPECT_EQ(cell(2, 2), "24:0");

    // With the link already off the import does not switch it again.
    tones.tones.clear();
    files.answer(path);
    record->input_bClick();
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1500, 300}, {1600, 500}}));
    EXPECT_EQ(sdf->linkFlag(), 0);
}

}  // namespace
}  // namespace tev::testing
