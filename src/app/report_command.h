#pragma once

#include <string>
#include <vector>

#include "app/alert_settings.h"
#include "app/settings_file.h"
#include "core/texts/event_log.h"
#include "services/report/rules/month_report_inputs.h"

namespace tev::app {

// What a folder's monthly report is figured from besides the archive: the site ([fleet] site,
// else the computer's name), the tariff, the nominal voltage, the phase floor of the imbalance
// alert, and the program's language (English, else bilingual). The archive readers are the
// SQLite ones. `alerts` must outlive the sources (they point at its tariff).
report::ReportSources folderReportSources(const SettingsFile& settings, const AlertSettings& alerts,
                                          LanguageMode language);

// `tev3p report --month YYYY-MM [--meter ID] [--folder DIR] [--output FILE]`: writes one
// meter's monthly report as a self-contained HTML file, prints its name and ends, without a
// window, the folder lock or the meter ports. Status 2 for a bad option or month, a missing
// archive, an unknown meter or a month without rows; 1 when the archive cannot be read or the
// file cannot be written.
int runReportCommand(const std::vector<std::string>& arguments);

}  // namespace tev::app
