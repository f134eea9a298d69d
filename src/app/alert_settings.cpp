#include "app/alert_settings.h"

#include <QDir>
#include <QFile>

#include "app/mqtt_bridge.h"
#include "services/alerts/rules/alert_log_text.h"
#include "services/web/rules/quality_settings.h"

namespace tev {

namespace {
// tev3p.ini is a few kilobytes; a larger file is no settings file the user wrote.
constexpr qint64 kMaxIniBytes = 1024 * 1024;
}  // namespace

AlertSettings loadAlertSettings(const std::string& folder) {
    AlertSettings out;
    QFile file(QDir(QString::fromStdString(folder)).filePath(kIniFileName));
    if (!file.exists()) return out;
    if (!file.open(QIODevice::ReadOnly)) {
        out.problems.push_back(std::string(kIniFileName) + " could not be read");
        return out;
    }
    const QByteArray bytes = file.read(kMaxIniBytes);
    const IniDocument ini = IniDocument::parse(std::string_view(bytes.constData(), bytes.size()));
    AlertConfigLoad alerts = loadAlertConfig(ini);
    TariffLoad tariff = loadTariff(ini);
    out.alerts = std::move(alerts.config);
    out.tariff = std::move(tariff.tariff);
    for (const ConfigProblem& p : alerts.problems)
        out.problems.push_back(configProblemText(kIniFileName, p));
    for (const ConfigProblem& p : tariff.problems)
        out.problems.push_back(configProblemText(kIniFileName, p));
    std::vector<ConfigProblem> quality;
    out.voltageNominal = web::loadVoltageNominal(ini, out.alerts.defaults.voltageNominal, quality);
    for (const ConfigProblem& p : quality)
        out.problems.push_back(configProblemText(kIniFileName, p));
    return out;
}

}  // namespace tev
