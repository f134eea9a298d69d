#include "services/alerts/rules/alert_log_text.h"

#include <gtest/gtest.h>

namespace tev::alerts {
namespace {

TEST(AlertLogText, StartAndEndLinesNameMeterRuleValueAndThresholdInBothForms) {
    AlertEvent e{"HOQ000000001", AlertRule::Current, 2, true, 0, 41.23, 40};
    auto t = alertLogText(e);
    EXPECT_EQ(t.english, "Alert start: meter HOQ000000001, current L2 = 41.23 A (limit 40.00 A)");
    EXPECT_EQ(t.bilingual,
              "Alert start: meter HOQ000000001, current L2 = 41.23 A (limit 40.00 A)"
              "  警報開始: 電錶 HOQ000000001 電流過高");
    e.started = false;
    e.rule = AlertRule::Imbalance;
    e.phase = 0;
    e.value = 12.04;
    e.threshold = 30;
    t = alertLogText(e);
    EXPECT_EQ(t.english, "Alert end: meter HOQ000000001, imbalance = 12.0% (limit 30.0%)");
    EXPECT_EQ(t.bilingual, t.english + "  警報結束: 電錶 HOQ000000001 三相不平衡");
}

TEST(AlertLogText, NotificationHasAShortSummaryAndTheDetailInItsBody) {
    const AlertEvent e{"M7", AlertRule::PhaseLoss, 3, true, 0, 0, 115};
    const auto n = alertNotificationText(e);
    EXPECT_EQ(n.summary, "Alert: phase loss L3");
    EXPECT_EQ(n.body, "Meter M7: phase loss L3 = 0.0 V (limit 115.0 V)");
    EXPECT_EQ(configProblemText("tev3p.ini", {12, "current_max=abc: not a number"}),
              "tev3p.ini line 12: current_max=abc: not a number");
}

}  // namespace
}  // namespace tev::alerts
