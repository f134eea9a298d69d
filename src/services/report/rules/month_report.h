#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "services/archive/rules/alert_record.h"
#include "services/archive/rules/insights.h"
#include "services/archive/rules/voltage_quality.h"

namespace tev::report {

// The language of the report: English, or each text in Traditional Chinese and English as the
// dashboard writes them ("電壓品質 Voltage quality").
enum class ReportLanguage { English, Bilingual };

// One local day of the month: its energy and cost; no energy where the archive has no hour row
// of that day.
struct ReportDay {
    std::int64_t day = 0;  // local midnight
    std::optional<double> kwh;
    std::optional<double> cost;  // standing charge in; none without a tariff
};

// Everything one meter's monthly report shows, figured before it is written.
struct MonthReport {
    std::string meter;                // the meter's ID
    std::optional<std::string> name;  // [meters] name.<ID>
    std::string site;                 // the recorder's name: [fleet] site, else the computer's
    std::string month;                // "2026-11"
    std::int64_t monthStart = 0, monthEnd = 0;  // local midnights
    std::optional<std::string> currency;        // set when a tariff prices the energy
    std::vector<ReportDay> days;                // every day of the month, oldest first
    double kwh = 0;                             // the month's energy: the sum of the days'
    std::optional<double> cost;                 // the sum of the days' costs
    // The month and the month before and a year ago, as the evening answer gives them at the
    // month's last second.
    archive::MonthFigures figures;
    // This month's nights, their typical base load (the median of the nights'), what that
    // costs over a year and the month's night use above the base.
    std::vector<archive::DayBaseLoad> baseLoads;
    std::optional<double> baseWatts;
    bool baseFromMinutes = false;
    std::optional<double> baseYearCost;
    double nightKwhAboveBase = 0;
    // This month's daily peaks and its highest; the demand charge on it when one is set.
    std::vector<archive::Peak> dailyPeaks;
    std::optional<archive::Peak> monthPeak;
    std::optional<double> demandCharge;
    // The ISO weeks that hold a day of the month.
    std::vector<archive::WeekQuality> weeks;
    // The month's alert starts and ends, oldest first.
    std::vector<archive::AlertRecord> alerts;
    // The phases over the month's last four weeks, and the limit they were judged against.
    archive::PhaseAdvice phases;
    double phaseLimitPercent = 30;
    ReportLanguage language = ReportLanguage::English;
};

// "Move about 0.8 kW of load from L1 to L3: the imbalance was above 30 % in 23 % of the hours of
// the last 4 weeks.", "The phases are balanced: …", or nothing without counted hours.
std::optional<std::string> phaseAdviceSentence(const archive::PhaseAdvice& advice,
                                               double limitPercent);

// The report as one self-contained HTML file: inline CSS and SVG only, no script and nothing
// fetched, laid out for A4 portrait with no chart split across pages and readable in black and
// white. Every text from tev3p.ini or the archive is escaped.
std::string monthReportHtml(const MonthReport& report);

// `text` fit for HTML text and attribute values: & < > " ' as character references.
std::string htmlEscaped(std::string_view text);

// "2026-11" as its first day's and the next month's local midnights; nothing for any other
// text.
struct ReportMonth {
    std::int64_t start = 0, end = 0;
};
std::optional<ReportMonth> parseReportMonth(std::string_view text);

// The file the report is saved as: TEV3P_<ID>_report_2026-11.html.
std::string reportFileName(std::string_view meter, std::string_view month);

}  // namespace tev::report
