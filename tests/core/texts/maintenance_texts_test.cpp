#include "core/texts/maintenance_texts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tev {
namespace {

TEST(TypedNumber, ReadsAFullStopAsTheSeparatorWithBlanksAndSigns) {
    EXPECT_EQ(parseTypedNumber("1234.6"), 1234.6);
    EXPECT_EQ(parseTypedNumber(" 12.5 "), 12.5);
    EXPECT_EQ(parseTypedNumber("+3"), 3.0);
    EXPECT_EQ(parseTypedNumber("-0.5"), -0.5);
    EXPECT_EQ(parseTypedNumber(".5"), 0.5);
    EXPECT_EQ(parseTypedNumber("1e3"), 1000.0);
    for (const char* bad :
         {"", " ", "abc", "1,5", "12 3", "1.2.3", "inf", "nan", "0x10", "1e", "-", "+-1", "12kWh"})
        EXPECT_FALSE(parseTypedNumber(bad).has_value()) << bad;
}

TEST(TotalEntry, EmptyTextIsNoEntryAndOtherTextsAreReported) {
    EXPECT_EQ(readTotalEntry("").kind, TotalEntry::Kind::Empty);
    const TotalEntry number = readTotalEntry("1234.6");
    EXPECT_EQ(number.kind, TotalEntry::Kind::Number);
    EXPECT_EQ(number.total, 1234.6f);
    const TotalEntry word = readTotalEntry("abc");
    EXPECT_EQ(word.kind, TotalEntry::Kind::NotANumber);
    EXPECT_EQ(word.error, "'abc' is not a valid number");
    // Larger than a 32-bit float holds.
    EXPECT_EQ(readTotalEntry("1e39").kind, TotalEntry::Kind::NotANumber);
    EXPECT_EQ(readTotalEntry(" ").kind, TotalEntry::Kind::NotANumber);
}

TEST(TotalEntry, EditorOpensWithOneDecimalRounded) {
    EXPECT_EQ(totalEditorText(1234.56f), "1234.6");
    EXPECT_EQ(totalEditorText(0.0f), "0.0");
    EXPECT_EQ(totalEditorText(999999.875f), "999999.9");
}

// A German locale (decimal comma) compiled into a private folder, so that the test needs no
// locale installed system-wide; the locale sources come with the "locales" package.
class GermanNumericLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        folder =
            std::filesystem::temp_directory_path() / ("tev_locale_" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        const std::string command =
            "localedef -i de_DE -f UTF-8 '" + folder.string() + "/de_DE.UTF-8' >/dev/null 2>&1";
        [[maybe_unused]] const int status = std::system(command.c_str());
        ::setenv("LOCPATH", folder.c_str(), 1);
        ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 1.5);
        ASSERT_STREQ(probe, "1,5");
    }
    void TearDown() override {
        std::setlocale(LC_NUMERIC, "C");
        ::unsetenv("LOCPATH");
        std::filesystem::remove_all(folder);
    }
    std::filesystem::path folder;
};

TEST_F(GermanNumericLocale, TotalIsWrittenAndReadWithAFullStop) {
    EXPECT_EQ(totalEditorText(1234.56f), "1234.6");
    EXPECT_EQ(parseTypedNumber("2.5"), 2.5);
    EXPECT_FALSE(parseTypedNumber("2,5").has_value());
}

TEST(ResetTexts, EnglishAndBilingualAskAndLogAndChineseDoesNothing) {
    const auto english = resetConfirmation(LanguageMode::English);
    ASSERT_TRUE(english.has_value());
    EXPECT_EQ(english->title, "TEV3P Power Monitor Manager");
    EXPECT_EQ(english->text, "Confirm Reset All Recorded Data ? ");
    const auto bilingual = resetConfirmation(LanguageMode::Bilingual);
    ASSERT_TRUE(bilingual.has_value());
    EXPECT_EQ(bilingual->title, "TEV3P 電力監控器 資料管理");
    EXPECT_EQ(bilingual->text, "Reset All Data 確定刪除全部資料 還原初始狀態 ? ");
    EXPECT_FALSE(resetConfirmation(LanguageMode::Chinese).has_value());

    EXPECT_EQ(resetDoneMessage(LanguageMode::English),
              " > Delete All Records, Reset to Orginal OK !");
    EXPECT_EQ(resetDoneMessage(LanguageMode::Bilingual),
              " > Delete All Records 刪除全部記錄 還原初始狀態 OK !");
    EXPECT_FALSE(resetDoneMessage(LanguageMode::Chinese).has_value());
}

TEST(WeekdayTester, AnswersTheIndexTwoBlanksAndTheEnglishName) {
    EXPECT_EQ(weekdayTesterText(2024, 8, 2), "5  Friday");
    EXPECT_EQ(weekdayTesterText(2024, 8, 4), "0  Sunday");
    EXPECT_EQ(weekdayTesterText(2000, 3, 1), "3  Wednesday");
}

}  // namespace
}  // namespace tev
