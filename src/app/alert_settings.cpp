#include "app/alert_settings.h"

#include "core/settings/folder_files.h"
#include "services/alerts/rules/alert_log_text.h"
#include "services/web/rules/quality_settings.h"

namespace tev::app {

AlertSettings loadAlertSettings(const app::SettingsFile& settings) {
    AlertSettings out;
    const IniDocument& ini = settings.ini;
    alerts::AlertConfigLoad alerts = alerts::loadAlertConfig(ini);
    alerts::TariffLoad tariff = alerts::loadTariff(ini);
    out.alerts = std::move(alerts.config);
    out.tariff = std::move(tariff.tariff);
    for (const ConfigProblem& p : alerts.problems)
        out.problems.push_back(alerts::configProblemText(kIniFileName, p));
    for (const ConfigProblem& p : tariff.problems)
        out.problems.push_back(alerts::configProblemText(kIniFileName, p));
    std::vector<ConfigProblem> quality;
    out.voltageNominal = web::loadVoltageNominal(ini, out.alerts.defaults.voltageNominal, quality);
    for (const ConfigProblem& p : quality)
        out.problems.push_back(alerts::configProblemText(kIniFileName, p));
    return out;
}

AlertSettings loadAlertSettings(const std::string& folder) {
    const app::SettingsFile settings = app::readSettingsFile(folder);
    AlertSettings out = loadAlertSettings(settings);
    out.problems.insert(out.problems.begin(), settings.problems.begin(), settings.problems.end());
    return out;
}

}  // namespace tev::app
