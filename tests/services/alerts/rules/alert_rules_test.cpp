#include "services/alerts/rules/alert_rules.h"

#include <gtest/gtest.h>

#include "core/settings/ini_document.h"

namespace tev::alerts {
namespace {

TEST(IniDocument, ReadsGroupsKeysAndLinesAsWritten) {
    const auto doc = IniDocument::parse(
        "[General]\nlanguage=1\n\n; a comment\n[tariff]\ncurrency=\"\xE2\x82\xAC\"\n"
        "note=\"a, b\" ; trailing\nprice_per_kwh = 0.30 \n[alerts.ABC%20123]\ncurrent_max=40\r\n");
    ASSERT_EQ(doc.groups().size(), 4u);   // the root group plus three
    EXPECT_EQ(doc.groups()[1].name, "");  // [General] holds the root keys
    const auto tariff = doc.find("tariff");
    ASSERT_EQ(tariff.size(), 1u);
    ASSERT_EQ(tariff[0]->entries.size(), 3u);
    EXPECT_EQ(tariff[0]->entries[0].value, "\xE2\x82\xAC");  // the euro sign, UTF-8
    EXPECT_EQ(tariff[0]->entries[0].line, 6);
    EXPECT_EQ(tariff[0]->entries[1].value, "a, b");
    EXPECT_EQ(tariff[0]->entries[2].key, "price_per_kwh");
    EXPECT_EQ(tariff[0]->entries[2].value, "0.30");
    EXPECT_EQ(tariff[0]->entries[2].line, 8);
    const auto meter = doc.find("alerts.ABC 123");
    ASSERT_EQ(meter.size(), 1u);
    EXPECT_EQ(meter[0]->entries[0].value, "40");
    EXPECT_EQ(meter[0]->entries[0].line, 10);
}

TEST(IniDocument, SurvivesBrokenLinesAndOddBytes) {
    const auto doc = IniDocument::parse(
        "[unclosed\n=novalue\nno equals sign\n[a]\nk=\"open\\\n"
        "x=%\n%U12=\\x\n");
    const auto a = doc.find("a");
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(a[0]->entries.size(), 3u);
    EXPECT_EQ(a[0]->entries[1].value, "%");
}

TEST(IniNumber, AcceptsOnlyWholeFiniteNumbers) {
    double v = 0;
    EXPECT_TRUE(parseIniNumber(" 0.30 ", v));
    EXPECT_DOUBLE_EQ(v, 0.30);
    EXPECT_TRUE(parseIniNumber("+5", v));
    EXPECT_DOUBLE_EQ(v, 5);
    EXPECT_FALSE(parseIniNumber("", v));
    EXPECT_FALSE(parseIniNumber("12A", v));
    EXPECT_FALSE(parseIniNumber("0,30", v));
    EXPECT_FALSE(parseIniNumber("nan", v));
    EXPECT_FALSE(parseIniNumber("inf", v));
}

TEST(AlertConfig, DefaultsMatchTheDocumentedTable) {
    const AlertConfig c = loadAlertConfig(IniDocument::parse("")).config;
    EXPECT_FALSE(c.enabled);
    EXPECT_FALSE(c.tone);
    EXPECT_TRUE(c.notify);
    const AlertRules& r = c.defaults;
    EXPECT_FALSE(r.voltageNominal.has_value());
    EXPECT_EQ(r.voltageBandPercent, 10);
    EXPECT_EQ(r.voltageSeconds, 10);
    EXPECT_EQ(r.phaseLossPercent, 50);
    EXPECT_EQ(r.phaseLossSeconds, 2);
    EXPECT_FALSE(r.currentMax.has_value());
    EXPECT_EQ(r.currentSeconds, 5);
    EXPECT_FALSE(r.demandLimitKw.has_value());
    EXPECT_EQ(r.demandMinutes, 15);
    EXPECT_EQ(r.imbalancePercent, 30);
    EXPECT_EQ(r.imbalanceSeconds, 60);
    EXPECT_EQ(r.imbalanceMinAmps, 1);
    EXPECT_EQ(r.hysteresisPercent, 2);
}

TEST(AlertConfig, PerMeterGroupOverridesKeyByKeyOverTheCommonGroupWhereverItStands) {
    // The meter group comes first in the file, yet it builds on the whole [alerts] group.
    const auto load = loadAlertConfig(IniDocument::parse(
        "[alerts.HOQ000000001]\ncurrent_max=16\n[alerts]\nvoltage_nominal=120\ncurrent_max=40\n"
        "[alerts.HOQ000000002]\ncurrent_max=\n"));
    EXPECT_TRUE(load.problems.empty());
    const AlertConfig& c = load.config;
    EXPECT_EQ(c.rulesFor("HOQ000000001").currentMax, 16.0);
    EXPECT_EQ(c.rulesFor("HOQ000000001").voltageNominal, 120);
    EXPECT_FALSE(c.rulesFor("HOQ000000002").currentMax.has_value());
    EXPECT_EQ(c.rulesFor("other").currentMax, 40.0);
}

TEST(AlertConfig, BadLinesAreReportedOnceWithTheirLineAndIgnored) {
    const auto load =
        loadAlertConfig(IniDocument::parse("[alerts]\n"
                                           "current_max=abc\n"         // 2
                                           "voltage_nominal=-5\n"      // 3
                                           "hysteresis_percent=100\n"  // 4
                                           "colour=red\n"              // 5
                                           "current_seconds=7\n"
                                           "[alerts.THIRTEENCHARS]\n"  // 7
                                           "current_max=3\n"));
    ASSERT_EQ(load.problems.size(), 6u);
    EXPECT_EQ(load.problems[5].text,
              "voltage_nominal is not set: the voltage and phase-loss rules are off");
    EXPECT_EQ(load.problems[0].line, 2);
    EXPECT_EQ(load.problems[0].text, "current_max=abc: not a number");
    EXPECT_EQ(load.problems[1].line, 3);
    EXPECT_EQ(load.problems[1].text, "voltage_nominal=-5: out of range");
    EXPECT_EQ(load.problems[2].line, 4);
    EXPECT_EQ(load.problems[3].line, 5);
    EXPECT_EQ(load.problems[3].text, "colour=red: unknown alert key");
    EXPECT_EQ(load.problems[4].line, 7);
    // The good lines still apply; the bad ones leave the defaults.
    EXPECT_EQ(load.config.defaults.currentSeconds, 7);
    EXPECT_FALSE(load.config.defaults.voltageNominal.has_value());
    EXPECT_FALSE(load.config.defaults.currentMax.has_value());
    EXPECT_TRUE(load.config.perMeter.empty());
}

// A user who configured nothing hears and reads what the program always gave: no rule runs
// until one is named or the alerts are switched on, and the tone waits to be asked for.
TEST(AlertConfig, RulesRunOnlyWhenAskedForAndTheToneOnlyWhenSwitchedOn) {
    struct Case {
        const char* ini;
        bool enabled, tone, notify;
        std::vector<std::string> problems;
        bool unusualDay = false;  // off unless switched on, whatever the rules
    } const cases[] = {
        {"", false, false, true, {}},
        {"[tariff]\ncurrency=EUR\n", false, false, true, {}},
        {"[alerts]\ntone=on\nnotify=off\n", false, true, false, {}},
        {"[alerts]\nvoltage_nominal=220\n", true, false, true, {}},
        {"[alerts]\ncurrent_max=40\n",
         true,
         false,
         true,
         {"voltage_nominal is not set: the voltage and phase-loss rules are off"}},
        {"[alerts]\nenabled=false\nvoltage_nominal=230\n", false, false, true, {}},
        {"[alerts]\nenabled=true\nvoltage_nominal=110\ntone=maybe\n",
         true,
         false,
         true,
         {"tone=maybe: not on or off"}},
        {"[alerts.HOQ000000001]\nvoltage_nominal=230\ntone=on\n",
         true,
         false,
         true,
         {"tone=on: only in [alerts]"}},
        {"[alerts.SHORT]\nvoltage_nominal=230\n",
         false,
         false,
         true,
         {"[alerts.SHORT]: not a meter ID (12 printable characters)"}},
        {"[alerts]\nunusual_day=on\n", false, false, true, {}, true},
        {"[alerts]\nvoltage_nominal=230\nunusual_day=off\n", true, false, true, {}, false},
        {"[alerts]\nunusual_day=often\n", false, false, true, {"unusual_day=often: not on or off"}},
        {"[alerts.HOQ000000001]\ncurrent_max=40\nunusual_day=on\n",
         true,
         false,
         true,
         {"unusual_day=on: only in [alerts]",
          "voltage_nominal is not set: the voltage and phase-loss rules are off"}},
    };
    for (const Case& c : cases) {
        const AlertConfigLoad load = loadAlertConfig(IniDocument::parse(c.ini));
        EXPECT_EQ(load.config.enabled, c.enabled) << c.ini;
        EXPECT_EQ(load.config.tone, c.tone) << c.ini;
        EXPECT_EQ(load.config.notify, c.notify) << c.ini;
        EXPECT_EQ(load.config.unusualDay, c.unusualDay) << c.ini;
        std::vector<std::string> problems;
        for (const ConfigProblem& p : load.problems) problems.push_back(p.text);
        EXPECT_EQ(problems, c.problems) << c.ini;
    }
}

}  // namespace
}  // namespace tev::alerts
