#pragma once

#include <string>

#include "services/alerts/rules/alert_evaluator.h"

namespace tev::alerts {

// An alert start or end as an event-log line in the log's two written forms; Chinese-only
// mode writes neither, as for every other log line.
struct AlertLogText {
    std::string english;
    std::string bilingual;  // English followed by Traditional Chinese
};

// "Alert start: meter HOQ000000001, current L2 = 41.2 A (limit 40 A)"
AlertLogText alertLogText(const AlertEvent& event);

// The short title and body of a desktop notification (English; the desktop's own language is
// unknown to the meter log).
struct AlertNotificationText {
    std::string summary;
    std::string body;
};
AlertNotificationText alertNotificationText(const AlertEvent& event);

// A meter's day whose energy was well above that of the same weekday of the weeks before: an
// event told once, after the day ended, not a running alert.
struct UnusualDayAlert {
    std::string meterId;
    std::string who;   // the meter's name of [meters] name.<ID>, else its ID
    std::string date;  // the local day, "2026-12-08"
    double kwh = 0, typicalKwh = 0;
};
// "Unusual day — Kitchen: 41.2 kWh on 2026-12-08, typical 18.5 kWh"
AlertLogText unusualDayLogText(const UnusualDayAlert& alert);
AlertNotificationText unusualDayNotificationText(const UnusualDayAlert& alert);

// "a bad line" report for tev3p.ini: "tev3p.ini line 12: current_max=abc: not a number".
std::string configProblemText(const std::string& fileName, const ConfigProblem& problem);

}  // namespace tev::alerts
