#include <gtest/gtest.h>

#include "core/meterlink/meter_allow_list.h"
#include "core/meterlink/meter_names.h"
#include "tests/core/meterlink/meter_link_fixture.h"

namespace tev {
namespace {

using testing::dataMessage;
using testing::deviceMessage;
using testing::MeterLinkTest;

constexpr std::string_view kOurs = "REAL00000001";

class AllowListTest : public MeterLinkTest {
  protected:
    AllowListTest() { link->setAllowList(MeterAllowList({std::string(kOurs)})); }
    std::size_t linesWith(std::string_view part) const {
        std::size_t n = 0;
        for (const std::string& l : log.lines()) n += l.find(part) != std::string::npos;
        return n;
    }
};

TEST_F(AllowListTest, ForgedIdsNeverFillTheRegistryAndTheAllowedMeterRegisters) {
    for (int i = 0; i < 300; ++i) {
        char id[13];
        std::snprintf(id, sizeof id, "FORGED%06d", i);
        link->handleMessage(deviceMessage(id));
        link->handleMessage(dataMessage(id, 240802, 43200));
    }
    EXPECT_EQ(store->registry.MeterCount, 0);
    EXPECT_TRUE(tones.tones.empty());
    EXPECT_EQ(store->calendar.DataFlag, 0);
    EXPECT_FALSE(link->lastMessageFromRegisteredMeter());

    link->handleMessage(dataMessage(kOurs, 240802, 43200));
    ASSERT_EQ(store->registry.MeterCount, 1);
    EXPECT_EQ(row(0).Id.view(), kOurs);
    EXPECT_TRUE(link->lastMessageFromRegisteredMeter());
    EXPECT_NE(lastLine().find("HOQ 連線 192.168.1.20  ID: REAL00000001"), std::string::npos);
    link->handleMessage(deviceMessage(kOurs));
    EXPECT_EQ(store->registry.MeterCount, 1);
    EXPECT_EQ(row(0).Tag.view(), "KITCHEN");
}

TEST_F(AllowListTest, EachRefusedIdIsLoggedOnceAnHour) {
    link->handleMessage(deviceMessage("FORGED000001"));
    link->handleMessage(dataMessage("FORGED000001", 240802, 43200));
    link->handleMessage(deviceMessage("FORGED000002"));
    EXPECT_EQ(linesWith("HQ2: [FORGED000001] is not an allowed meter, its messages are ignored"),
              1u);
    EXPECT_EQ(linesWith("[FORGED000002] is not an allowed meter"), 1u);
    clock.set(2024, 8, 2, 9, 4, 59);
    link->handleMessage(deviceMessage("FORGED000001"));
    EXPECT_EQ(linesWith("[FORGED000001] is not an allowed meter"), 1u);
    clock.set(2024, 8, 2, 9, 5, 0);
    link->handleMessage(deviceMessage("FORGED000001"));
    EXPECT_EQ(linesWith("[FORGED000001] is not an allowed meter"), 2u);
    // A refused device message changes nothing the window shows.
    EXPECT_TRUE(link->currentModel().empty());
}

TEST(MeterAllowList, ListsAreReadWithBlanksAndBadEntriesAreNamed) {
    std::vector<std::string> problems;
    EXPECT_EQ(parseMeterIdList(" REAL00000001 ,HOQ000000002,, ", problems),
              (std::vector<std::string>{"REAL00000001", "HOQ000000002"}));
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(parseMeterIdList("SHORT,REAL00000001/,REAL000000012", problems).empty());
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0], "meter ID \"SHORT\" is not 12 printable characters");
    EXPECT_FALSE(MeterAllowList().active());
    EXPECT_TRUE(MeterAllowList().allows("ANYTHING0001"));
}

TEST(MeterAllowList, AFloodOfNewIdsKeepsItsMemoryBounded) {
    MeterAllowList list({"REAL00000001"});
    std::size_t reported = 0;
    for (std::size_t i = 0; i < MeterAllowList::kMaxRemembered + 100; ++i)
        reported += list.reportRefusal("F" + std::to_string(10000000000 + i), 0);
    EXPECT_EQ(reported, MeterAllowList::kMaxRemembered);
    // After the hour the old ones make room again.
    EXPECT_TRUE(list.reportRefusal("NEW000000001", MeterAllowList::kReportIntervalS));
}

// [meters] name.<ID>: names that can be shown are kept as written; the others are told and
// left out, and the allow key is none of their business.
TEST(MeterNames, NamesAreKeptAsWrittenAndUnshowableOnesAreTold) {
    struct Case {
        std::string key, value;
        std::optional<std::string> name;  // what HOQ000000001 (or the key's ID) is called
        bool problem;
    };
    const Case cases[] = {
        {"name.HOQ000000001", "Kitchen", "Kitchen", false},
        {"name.HOQ000000001", "Sh\"ed\\ <b> K\u00fcche \u53a8\u623f",
         "Sh\"ed\\ <b> K\u00fcche \u53a8\u623f", false},
        {"name.HOQ000000001", std::string(40, 'x'), std::string(40, 'x'), false},
        {"name.HOQ000000001", std::string(41, 'x'), std::nullopt, true},
        {"name.HOQ000000001", std::string(20, 'x') + std::string(20, '\xe4'), std::nullopt, true},
        {"name.HOQ000000001", "\u00e4" + std::string(39, 'x'), "\u00e4" + std::string(39, 'x'),
         false},
        {"name.HOQ000000001", "Kitchen\tleft", std::nullopt, true},
        {"name.HOQ000000001", "Kitchen\x7f", std::nullopt, true},
        {"name.HOQ000000001", "Kitchen\u0085", std::nullopt, true},
        {"name.HOQ000000001", "", std::nullopt, false},
        {"name.HOQ0001", "Short", std::nullopt, true},
        {"allow", "HOQ000000001", std::nullopt, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> problems;
        const MeterNames names = meterNamesFrom({{c.key, c.value}}, problems);
        EXPECT_EQ(names.of("HOQ000000001"), c.name) << c.key << "=" << c.value;
        EXPECT_EQ(names.byId.size(), c.name ? 1u : 0u) << c.key << "=" << c.value;
        EXPECT_EQ(problems.size(), c.problem ? 1u : 0u) << c.key << "=" << c.value;
        if (c.problem && !problems.empty()) {
            EXPECT_EQ(problems[0].rfind("[meters] " + c.key + ": ", 0), 0u) << problems[0];
        }
    }
}

}  // namespace
}  // namespace tev
