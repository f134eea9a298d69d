#include "recordsio/csv_import.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "tests/recordsio/ten_minute_csv.h"

namespace tev::testing {
namespace {

const std::string kName = "/data/HOQ_Power10Min_240801.csv";

TenMinuteCsv parse(const std::string& content, const std::string& name = kName) {
    return parseTenMinuteCsv(name, static_cast<std::int64_t>(content.size()), content);
}

TEST(TenMinuteCsvTest, HeaderWithTrailingCommaLetsTheFirstDayBeImported) {
    const std::string header = tenMinuteHeader(true);
    ASSERT_EQ(header.size(), 787u);  // 785 characters, CR at 785, LF at 786
    const std::string day1 = dayLine(240801, dayValues(1));
    const std::string day2 = dayLine(240802, dayValues(2));
    const TenMinuteCsv csv = parse(header + day1 + day2);
    ASSERT_EQ(csv.status, ImportStatus::Samples);
    ASSERT_EQ(csv.samples.size(), 288u);
    EXPECT_EQ(csv.samples[0].date, 240801);

    const std::string size = std::to_string(header.size() + day1.size() + day2.size());
    const std::vector<std::string> expected = {
        "<" + kName + ">",
        "> 檔案類型= <csv> OK! ",
        "> 檔案名稱= <Power10Min> 10-Min Find OK! ",
        "> Read File: <" + kName + ">  ",
        "> File Size= " + size,
        "> 辨識檔案內容為 HOQ 十分鐘檔內容 OK ! ",
        "<" + day1.substr(0, day1.size() - 1) + ">",  // the CR stays in the logged line
        "<" + day2.substr(0, day2.size() - 1) + ">",
    };
    EXPECT_EQ(csv.log, expected);
}

TEST(TenMinuteCsvTest, HeaderWithoutTrailingCommaSkipsTheFirstDay) {
    const std::string header = tenMinuteHeader(false);
    ASSERT_EQ(header.size(), 786u);
    const TenMinuteCsv csv =
        parse(header + dayLine(240801, dayValues(1)) + dayLine(240802, dayValues(2)));
    ASSERT_EQ(csv.status, ImportStatus::Samples);
    ASSERT_EQ(csv.samples.size(), 144u);
    EXPECT_EQ(csv.samples[0].date, 240802);
    EXPECT_EQ(csv.log.size(), 7u);  // the skipped day is not logged as a line
}

TEST(TenMinuteCsvTest, SamplesRunFromTenMinutesAndTheZeroColumnClosesTheDay) {
    const TenMinuteCsv csv = parse(tenMinuteHeader(true) + dayLine(240801, dayValues(3)));
    ASSERT_EQ(csv.samples.size(), 144u);
    EXPECT_EQ(csv.samples[0].minute, 10);
    EXPECT_FLOAT_EQ(csv.samples[0].value, 3.002f);
    EXPECT_EQ(csv.samples[142].minute, 1430);
    EXPECT_FLOAT_EQ(csv.samples[142].value, 3.144f);
    EXPECT_EQ(csv.samples[143].minute, 1440);
    EXPECT_FLOAT_EQ(csv.samples[143].value, 3.001f);
}

TEST(TenMinuteCsvTest, LastValueWithoutCommaIsLostAndTheZeroColumnTakesMinute1430) {
    const TenMinuteCsv csv =
        parse(tenMinuteHeader(true) + dayLine(240801, dayValues(4), /*commaAfterLast=*/false));
    ASSERT_EQ(csv.samples.size(), 143u);
    EXPECT_EQ(csv.samples[141].minute, 1420);
    EXPECT_FLOAT_EQ(csv.samples[141].value, 4.143f);
    EXPECT_EQ(csv.samples[142].minute, 1430);
    EXPECT_FLOAT_EQ(csv.samples[142].value, 4.001f);
}

TEST(TenMinuteCsvTest, ShortLinesAndLinesWithoutDateCommaAreLoggedButGiveNoSamples) {
    std::string bad = dayLine(240801, dayValues(1));
    bad[6] = ';';
    const std::string shortLine = dayLine(240802, dayValues(2, 100));  // 607 characters
    const std::string unterminated = "240804,1.0,";                    // no LF: not a line
    const TenMinuteCsv csv = parse(tenMinuteHeader(true) + bad + shortLine +
                                   dayLine(240803, dayValues(3)) + unterminated);
    ASSERT_EQ(csv.status, ImportStatus::Samples);
    EXPECT_EQ(csv.samples.size(), 144u);
    EXPECT_EQ(csv.samples[0].date, 240803);
    EXPECT_EQ(csv.log.size(), 9u);

    const TenMinuteCsv none = parse(tenMinuteHeader(true) + bad + shortLine);
    EXPECT_EQ(none.status, ImportStatus::NoDayLines);
    EXPECT_TRUE(none.samples.empty());
}

TEST(TenMinuteCsvTest, SampleListKeepsTheFirst45000) {
    std::string text = tenMinuteHeader(true);
    for (int d = 0; d < 313; ++d) text += dayLine(230101 + d, dayValues(d % 9 + 1));
    const TenMinuteCsv csv = parse(text);
    ASSERT_EQ(csv.samples.size(), 45000u);
    // 312 whole days, then the first 72 samples of day 313 (minutes 10 … 720).
    EXPECT_EQ(csv.samples.back().date, 230101 + 312);
    EXPECT_EQ(csv.samples.back().minute, 720);
}

TEST(TenMinuteCsvTest, ValueThatIsNotANumberNamesItsLineAndFieldAndKeepsNoSamples) {
    std::vector<std::string> values = dayValues(2);
    values[11] = "1.2x";  // value 12, under 1:50, field 13 of the line
    const TenMinuteCsv csv = parse(tenMinuteHeader(true) + dayLine(240801, dayValues(1)) +
                                   dayLine(240802, values) + dayLine(240803, dayValues(3)));
    EXPECT_EQ(csv.status, ImportStatus::BadNumber);
    EXPECT_TRUE(csv.samples.empty());
    EXPECT_EQ(csv.problem.line, 3);
    EXPECT_EQ(csv.problem.field, 13);
    EXPECT_EQ(csv.problem.column, "1:50");
    EXPECT_EQ(csv.problem.text, "1.2x");
    EXPECT_EQ(importRefusalText(csv),
              "Line 3, field 13 (1:50) of " + kName +
                  ": '1.2x' is not a valid number.\nNothing was imported; the recorded data is "
                  "unchanged.");

    std::string badDate = dayLine(240801, dayValues(1));
    badDate[2] = 'a';
    const TenMinuteCsv date = parse(tenMinuteHeader(true) + badDate);
    EXPECT_EQ(date.status, ImportStatus::BadNumber);
    EXPECT_EQ(date.problem.line, 2);
    EXPECT_EQ(date.problem.field, 1);
    EXPECT_EQ(date.problem.column, "Date");

    std::vector<std::string> empty = dayValues(1);
    empty[0] = "";
    EXPECT_EQ(parse(tenMinuteHeader(true) + dayLine(240801, empty)).problem.column, "0:0");
    std::vector<std::string> inf = dayValues(1);
    inf[5] = "inf";
    EXPECT_EQ(parse(tenMinuteHeader(true) + dayLine(240801, inf)).status, ImportStatus::BadNumber);
}

TEST(TenMinuteCsvTest, NamesAndSizesAreCheckedBeforeAnythingIsRead) {
    const TenMinuteCsv shortName = parseTenMinuteCsv("Power10Min.csv", 5000, "");
    EXPECT_EQ(shortName.status, ImportStatus::NotCsvName);
    EXPECT_TRUE(shortName.refusalTones);
    EXPECT_EQ(shortName.log, (std::vector<std::string>{"<Power10Min.csv>",
                                                       "> 檔案類型= <csv> Not CSR File exit! "}));

    const TenMinuteCsv upper = parseTenMinuteCsv("/data/Power10Min_1.CSV", 5000, "");
    EXPECT_EQ(upper.status, ImportStatus::NotCsvName);
    EXPECT_EQ(upper.log.back(), "> 檔案類型= <CSV> Not CSR File exit! ");

    const TenMinuteCsv big = parseTenMinuteCsv(kName, 1200001, "");
    EXPECT_EQ(big.status, ImportStatus::TooLarge);
    EXPECT_TRUE(big.refusalTones);
    EXPECT_EQ(big.log.back(), "> File Size= 1200001 > Max. 12MB exit ! ");
    EXPECT_EQ(big.log[big.log.size() - 2], "> File Size= 1200001");

    const TenMinuteCsv unnamed = parseTenMinuteCsv("/data/Energy_240801.csv", 5000, "");
    EXPECT_EQ(unnamed.status, ImportStatus::NotTenMinuteName);
    EXPECT_FALSE(unnamed.refusalTones);
    EXPECT_EQ(unnamed.log.size(), 4u);

    const std::string header = tenMinuteHeader(false);
    const TenMinuteCsv small = parseTenMinuteCsv(kName, 784, header.substr(0, 784));
    EXPECT_EQ(small.status, ImportStatus::TooSmall);

    const TenMinuteCsv missing = parseTenMinuteCsv(kName, -1, "");
    EXPECT_EQ(missing.status, ImportStatus::Unreadable);
    EXPECT_EQ(missing.log.back(), "> File Size= -1");
}

TEST(TenMinuteCsvTest, FileOnDiskIsReadOnlyWhenItsSizeIsAccepted) {
    char pattern[] = "/tmp/recordsio_test_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::string good = folder + "/HOQ_Power10Min_good.csv";
    {
        std::ofstream out(good, std::ios::binary);
        out << tenMinuteHeader(true) << dayLine(240801, dayValues(1));
    }
    const TenMinuteCsv read = readTenMinuteCsv(good);
    EXPECT_EQ(read.status, ImportStatus::Samples);
    EXPECT_EQ(read.samples.size(), 144u);

    const std::string big = folder + "/HOQ_Power10Min_big.csv";
    {
        std::ofstream out(big, std::ios::binary);
        std::string text = tenMinuteHeader(true);
        while (text.size() < 1200001) text += dayLine(240801, dayValues(1));
        text.resize(1200001);
        out << text;
    }
    const TenMinuteCsv tooBig = readTenMinuteCsv(big);
    EXPECT_EQ(tooBig.status, ImportStatus::TooLarge);
    EXPECT_EQ(tooBig.fileSize, 1200001);
    EXPECT_TRUE(tooBig.samples.empty());

    const TenMinuteCsv gone = readTenMinuteCsv(folder + "/Power10Min_no.csv");
    EXPECT_EQ(gone.status, ImportStatus::Unreadable);
    EXPECT_EQ(gone.fileSize, -1);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tev::testing
