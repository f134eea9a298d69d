#include "core/recordsio/csv_import.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/core/recordsio/ten_minute_csv.h"

namespace tev::testing {
namespace {

const std::string kName = "/data/HOQ_Power10Min_240801.csv";

// The date code `days` calendar days after `code`.
int dateCodeAfter(int code, int days) {
    using namespace std::chrono;
    const sys_days start =
        year_month_day{year{2000 + code / 10000}, month{static_cast<unsigned>(code / 100 % 100)},
                       day{static_cast<unsigned>(code % 100)}};
    const year_month_day d{start + std::chrono::days{days}};
    return (static_cast<int>(d.year()) - 2000) * 10000 +
           static_cast<int>(unsigned(d.month())) * 100 + static_cast<int>(unsigned(d.day()));
}

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
    for (int d = 0; d < 313; ++d) text += dayLine(dateCodeAfter(230101, d), dayValues(d % 9 + 1));
    const TenMinuteCsv csv = parse(text);
    ASSERT_EQ(csv.samples.size(), 45000u);
    // 312 whole days, then the first 72 samples of day 313 (minutes 10 … 720).
    EXPECT_EQ(csv.samples.back().date, 231109);
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

TEST(TenMinuteCsvTest, DatesThatAreNotCalendarDaysAreRefusedNamingLineAndField) {
    const auto refusal = [](int date) {
        return parse(tenMinuteHeader(true) + dayLine(240801, dayValues(1)) +
                     dayLine(date, dayValues(2)));
    };
    for (const int date : {241301, 240001, 240800, 240132, 230229, -99999}) {
        const TenMinuteCsv csv = refusal(date);
        EXPECT_EQ(csv.status, ImportStatus::BadNumber) << date;
        EXPECT_TRUE(csv.samples.empty()) << date;
        EXPECT_EQ(csv.problem.line, 3) << date;
        EXPECT_EQ(csv.problem.field, 1) << date;
    }
    EXPECT_EQ(importRefusalText(refusal(241301)),
              "Line 3, field 1 (Date) of " + kName +
                  ": '241301' is not a calendar date (YYMMDD).\nNothing was imported; the "
                  "recorded data is unchanged.");
    // The last day of a leap February and of a long month are days.
    EXPECT_EQ(refusal(240229).status, ImportStatus::Samples);
    EXPECT_EQ(refusal(241231).status, ImportStatus::Samples);
}

TEST(TenMinuteCsvTest, ValuesWhoseSumsWouldOverflowAFloatAreRefused) {
    std::vector<std::string> first = dayValues(1);
    first[143] = "3.4e38";  // the 23:50 value: the day's total, summed into week and month
    std::vector<std::string> second = dayValues(2);
    second[143] = "3.4e38";
    const TenMinuteCsv csv =
        parse(tenMinuteHeader(true) + dayLine(240801, first) + dayLine(240802, second));
    EXPECT_EQ(csv.status, ImportStatus::BadNumber);
    EXPECT_TRUE(csv.samples.empty());
    EXPECT_EQ(csv.problem.line, 3);
    EXPECT_EQ(csv.problem.field, 145);
    EXPECT_EQ(csv.problem.column, "23:50");
    EXPECT_EQ(importRefusalText(csv),
              "Line 3, field 145 (23:50) of " + kName +
                  ": '3.4e38' would make the sums of the imported values overflow.\nNothing "
                  "was imported; the recorded data is unchanged.");
    // One such value alone sums to a float.
    EXPECT_EQ(parse(tenMinuteHeader(true) + dayLine(240801, first)).status, ImportStatus::Samples);

    for (const char* text : {"nan", "NaN", "-nan", "inf", "1e39", "-3.5e38"}) {
        std::vector<std::string> values = dayValues(1);
        values[3] = text;
        const TenMinuteCsv bad = parse(tenMinuteHeader(true) + dayLine(240801, values));
        EXPECT_EQ(bad.status, ImportStatus::BadNumber) << text;
        EXPECT_EQ(bad.problem.field, 5) << text;
    }
}

TEST(TenMinuteCsvTest, LongLinesAreLoggedShortenedAsTheMemoShowsThem) {
    std::vector<std::string> values = dayValues(1);
    values[5] = std::string(5000, '1');  // still a number
    values[6] = "1" + std::string(3000, ' ');
    const std::string line = dayLine(240801, values);
    const TenMinuteCsv csv = parse(tenMinuteHeader(true) + line);
    ASSERT_EQ(csv.status, ImportStatus::BadNumber);  // the 5000 digits do not fit a float
    const std::string& logged = csv.log.back();
    EXPECT_EQ(logged, "<" + line.substr(0, kImportMaxLogLineBytes - 1) + "…");

    // A cut never splits a character.
    const std::string name = "/data/" + std::string(997, 'x') + "é_Power10Min.csv";
    const TenMinuteCsv named = parse(tenMinuteHeader(true), name);
    EXPECT_EQ(named.log.front(), "<" + std::string("/data/") + std::string(993, 'x') + "…");
}

TEST(TenMinuteCsvTest, ANamedPipeOrAFolderIsRefusedBeforeAnyRead) {
    char pattern[] = "/tmp/recordsio_fifo_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::string pipe = folder + "/HOQ_Power10Min_pipe.csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string dirName = folder + "/HOQ_Power10Min_dir.csv";
    std::filesystem::create_directory(dirName);
    // In a child with an alarm: an import that waits for a writer fails here instead of hanging.
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(5);
        const TenMinuteCsv p = readTenMinuteCsv(pipe);
        const TenMinuteCsv d = readTenMinuteCsv(dirName);
        const bool refused = p.status == ImportStatus::NotRegularFile && p.refusalTones &&
                             d.status == ImportStatus::NotRegularFile &&
                             p.log.back() == "> " + pipe + " is not a regular file exit ! ";
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "the import waited on the pipe";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::filesystem::remove_all(folder);
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
