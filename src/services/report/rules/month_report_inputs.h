#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "services/alerts/tariff/tariff.h"
#include "services/archive/rules/archive_queries.h"
#include "services/report/rules/month_report.h"
#include "services/web/rules/insights_json.h"

namespace tev::report {

// A meter's alert starts and ends with times in [fromMs, toMs), oldest first; `error` set when
// the archive cannot be read.
using AlertReader = std::function<std::vector<archive::AlertRecord>(
    const std::string& folder, const std::string& meter, std::int64_t fromMs, std::int64_t toMs,
    std::string& error)>;

// Where a report's figures come from and what prices them: the archive's readers, the folder's
// tariff and settings. The same for `tev3p report` and the dashboard's download, so that both
// give the same bytes.
struct ReportSources {
    std::string folder;
    archive::ArchiveQueries queries;
    AlertReader alerts;
    const alerts::Tariff* tariff = nullptr;  // prices only when configured
    // The phase limit and floor and the demand charge, as the evening answer takes them.
    web::InsightsSettings insights;
    double voltageNominal = 0;  // 0: assumed from the readings
    std::string site;
    ReportLanguage language = ReportLanguage::English;
};

// How a gathering ended: the report, a month without any hour row of the meter, or an archive
// that could not be read (`error` says why).
enum class Gathered { Report, NoRows, Failed };

// The month's report of `meter`: its figures are the evening answer's at the month's last second
// (`at` = month end - 1), read and made by web::readMeterInsights; besides them the month's
// days, its weeks' voltage quality and its alerts.
Gathered gatherMonthReport(const ReportSources& sources, const std::string& meter,
                           const std::optional<std::string>& name, const std::string& monthText,
                           const ReportMonth& month, MonthReport& report, std::string& error,
                           const archive::ReadStop* stop = nullptr);

// Each hour priced by the tariff and each day's standing charge; no prices without one.
archive::EnergyPricing tariffPricing(const alerts::Tariff* tariff);

}  // namespace tev::report
