#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/texts/language_texts.h"

namespace tev {
namespace {

// Runs of blanks and line breaks as one blank, so that a caption the manual breaks over two
// lines, or a caption with two blanks, is still found.
std::string collapseBlanks(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
        if (blank) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string manualText() {
    std::ifstream in(TEV_MANUAL_PATH, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return collapseBlanks(text.str());
}

TEST(UserManual, NamesEveryCommandByItsEnglishAndItsBilingualCaption) {
    const std::string manual = manualText();
    ASSERT_GT(manual.size(), 10000u) << TEV_MANUAL_PATH;
    for (const LanguageCaption& caption : languageCaptions()) {
        if (caption.name == "sdf") continue;  // the window title, not a command
        for (const auto& text : {caption.english, caption.bilingual}) {
            if (!text) continue;
            const std::string wanted = collapseBlanks(*text);
            EXPECT_NE(manual.find(wanted), std::string::npos)
                << caption.name << ": \"" << wanted << "\" is not in the manual";
        }
    }
}

TEST(UserManual, CoversTheImportLimitsTheAllowListTheStandardOutputAndMqtt) {
    const std::string manual = manualText();
    for (const char* wanted : {"1,200,000 bytes", "45,000 values", "[meters]", "--allow-meter",
                               "log lines not written to standard output", "default_entity_id",
                               "unique_id", "tev3p.ini", "HOQ Off-line!", "Update 更新", "Wh /1000",
                               "KWh x1000", "TEV-3P Electricity Monitor System"}) {
        EXPECT_NE(manual.find(wanted), std::string::npos) << wanted;
    }
}

}  // namespace
}  // namespace tev
