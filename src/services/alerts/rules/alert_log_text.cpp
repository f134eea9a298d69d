#include "services/alerts/rules/alert_log_text.h"

#include <cstdio>

namespace tev::alerts {

namespace {

struct RuleWords {
    std::string_view english;
    std::string_view chinese;
    std::string_view unit;
    int decimals;  // as the meter gives the value: volts to 0.1, amperes to 0.01
};

RuleWords wordsFor(AlertRule rule) {
    switch (rule) {
        case AlertRule::Voltage:
            return {"voltage", "電壓超出範圍", "V", 1};
        case AlertRule::PhaseLoss:
            return {"phase loss", "缺相", "V", 1};
        case AlertRule::Current:
            return {"current", "電流過高", "A", 2};
        case AlertRule::Demand:
            return {"demand", "需量超限", "kW", 2};
        case AlertRule::Imbalance:
            return {"imbalance", "三相不平衡", "%", 1};
    }
    return {"", "", "", 1};
}

std::string decimal(double v, int decimals) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// "current L2 = 41.2 A (limit 40.0 A)"
std::string detail(const AlertEvent& e, const RuleWords& w) {
    std::string s(w.english);
    if (e.phase > 0) s += " L" + std::to_string(e.phase);
    const std::string unit = w.unit == "%" ? "%" : " " + std::string(w.unit);
    s += " = " + decimal(e.value, w.decimals) + unit + " (limit " +
         decimal(e.threshold, w.decimals) + unit + ")";
    return s;
}

}  // namespace

AlertLogText alertLogText(const AlertEvent& e) {
    const RuleWords w = wordsFor(e.rule);
    const std::string what = detail(e, w);
    const std::string meter = "meter " + e.meterId;
    AlertLogText t;
    t.english = std::string(e.started ? "Alert start: " : "Alert end: ") + meter + ", " + what;
    t.bilingual = t.english + (e.started ? "  警報開始: 電錶 " : "  警報結束: 電錶 ") + e.meterId +
                  " " + std::string(w.chinese);
    return t;
}

AlertNotificationText alertNotificationText(const AlertEvent& e) {
    const RuleWords w = wordsFor(e.rule);
    AlertNotificationText t;
    t.summary = std::string(e.started ? "Alert: " : "Alert over: ") + std::string(w.english) +
                (e.phase > 0 ? " L" + std::to_string(e.phase) : "");
    t.body = "Meter " + e.meterId + ": " + detail(e, w);
    return t;
}

namespace {
// "Kitchen: 41.2 kWh on 2026-12-08, typical 18.5 kWh"
std::string unusualDayDetail(const UnusualDayAlert& a) {
    return a.who + ": " + decimal(a.kwh, 1) + " kWh on " + a.date + ", typical " +
           decimal(a.typicalKwh, 1) + " kWh";
}
}  // namespace

AlertLogText unusualDayLogText(const UnusualDayAlert& a) {
    AlertLogText t;
    t.english = "Unusual day \u2014 " + unusualDayDetail(a);
    t.bilingual = t.english + "  異常用電日: " + a.who + " " + a.date + " " + decimal(a.kwh, 1) +
                  " kWh, 平常 " + decimal(a.typicalKwh, 1) + " kWh";
    return t;
}

AlertNotificationText unusualDayNotificationText(const UnusualDayAlert& a) {
    return {"Unusual day", unusualDayDetail(a)};
}

std::string configProblemText(const std::string& fileName, const ConfigProblem& problem) {
    return fileName + " line " + std::to_string(problem.line) + ": " + problem.text;
}

}  // namespace tev::alerts
