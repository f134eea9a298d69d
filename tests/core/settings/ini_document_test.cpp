#include "core/settings/ini_document.h"

#include <gtest/gtest.h>

namespace tev {
namespace {

// What a service gets of each line a user may write in tev3p.ini: values as written, with only
// whole-line comments, trailing comments after a blank and whole-value quotes read as marks.
TEST(IniDocument, EveryKeyGetsItsValueAsWritten) {
    struct Case {
        const char* text;
        const char* group;
        const char* key;
        const char* value;  // nullptr: the key is absent
    };
    const Case cases[] = {
        {"[fleet]\nsite=hall;2\n", "fleet", "site", "hall;2"},
        {"[fleet]\nsite=north, hall 2\n", "fleet", "site", "north, hall 2"},
        {"[fleet]\nsite=hall#2\n", "fleet", "site", "hall#2"},
        {"[fleet]\nsite=caf\xC3\xA9\n", "fleet", "site", "caf\xC3\xA9"},
        {"[fleet]\n  site  =   north hall  \n", "fleet", "site", "north hall"},
        {"[tariff]\nprice_per_kwh=0.30     ; outside every band\n", "tariff", "price_per_kwh",
         "0.30"},
        {"[mqtt]\ntls=off\t# on: TLS\n", "mqtt", "tls", "off"},
        {"[fleet]\nsite=\"north hall ; 2 \"\n", "fleet", "site", "north hall ; 2 "},
        {"[fleet]\nsite=\"north\" ; the hall\n", "fleet", "site", "north"},
        {"[fleet]\nsite=\"half\n", "fleet", "site", "\"half"},
        {"[fleet]\nsite=a=b\n", "fleet", "site", "a=b"},
        {"[fleet]\nsite=\n", "fleet", "site", ""},
        {"[fleet]\nsite= ;nothing\n", "fleet", "site", ""},
        {"[fleet]\r\nsite=hall\r\nurl=postgresql://db\r\n", "fleet", "url", "postgresql://db"},
        {"\xEF\xBB\xBF[fleet]\nsite=hall\n", "fleet", "site", "hall"},
        {"[fleet]\nsite=one\n[mqtt]\nhost=b\n[fleet]\nsite=two\n", "fleet", "site", "two"},
        {"[fleet]\nsite=one\n[mqtt]\nhost=b\n[fleet]\nurl=u\n", "fleet", "site", "one"},
        {"[fleet]\nsite=one\nsite=two\n", "fleet", "site", "two"},
        {"; [fleet]\n# site=x\n", "fleet", "site", nullptr},
        {"[fleet]\n;site=x\n", "fleet", "site", nullptr},
        {"[fleet\nsite=x\n", "fleet", "site", nullptr},
        {"[tariff\nsite=x\n[fleet]\nurl=u\n", "", "site", nullptr},
        {"[fleet]\nsite=caf\xE9\n", "fleet", "site", nullptr},
        {"site=root\n[fleet]\n", "", "site", "root"},
        {"[General]\nsite=root\n", "", "site", "root"},
        {"[Fleet]\nsite=x\n", "fleet", "site", nullptr},
    };
    for (const Case& c : cases) {
        const auto values = IniDocument::parse(c.text).values(c.group);
        const auto it = values.find(c.key);
        if (c.value == nullptr) {
            EXPECT_EQ(it, values.end()) << c.text;
        } else {
            ASSERT_NE(it, values.end()) << c.text;
            EXPECT_EQ(it->second, c.value) << c.text;
        }
    }
}

// Each line that is not read as written is told once, with its line number; a key line of a
// group that is not UTF-8 is also a bad setting of that group.
TEST(IniDocument, LinesLeftOutAreToldWithTheirLines) {
    const IniDocument doc = IniDocument::parse(
        "[mqtt]\n"                  // 1
        "host=broker\n"             // 2
        "; caf\xE9 in a comment\n"  // 3
        "[fleet]\n"                 // 4
        "site=caf\xE9\n"            // 5
        "just words\n"              // 6
        "site=hall\n"               // 7
        "[fleet] trailing\n"        // 8
        "[mqtt]\n"                  // 9
        "host=again\n");            // 10
    std::vector<std::pair<int, std::string>> told;
    for (const ConfigProblem& p : doc.problems()) told.emplace_back(p.line, p.text);
    const std::vector<std::pair<int, std::string>> expected = {
        {3, "not UTF-8 text; the line is left out"},
        {5, "not UTF-8 text; the line is left out"},
        {6, "not a key=value line; the line is ignored"},
        {8, "not a [group] header; the line is ignored"},
        {10, "[mqtt] host is given again (first on line 2); this line is used"},
    };
    EXPECT_EQ(told, expected);
    const auto fleet = doc.find("fleet");
    ASSERT_EQ(fleet.size(), 1u);
    ASSERT_EQ(fleet[0]->leftOut.size(), 1u);
    EXPECT_EQ(fleet[0]->leftOut[0].line, 5);
    EXPECT_EQ(doc.values("fleet").at("site"), "hall");
    EXPECT_TRUE(doc.find("mqtt")[0]->leftOut.empty());
    EXPECT_EQ(doc.values("mqtt").at("host"), "again");
}

}  // namespace
}  // namespace tev
