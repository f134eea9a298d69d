#include "app/meter_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "app/mqtt_bridge.h"
#include "core/meterlink/meter_allow_list.h"

namespace tev {

std::vector<std::string> loadAllowedMeters(const std::string& folder,
                                           const std::vector<std::string>& commandLine,
                                           std::vector<std::string>& problems) {
    std::string listed;
    if (!commandLine.empty()) {
        for (const std::string& id : commandLine) listed += id + ",";
    } else {
        const QString iniPath = QDir(QString::fromStdString(folder)).filePath(kIniFileName);
        if (QFileInfo::exists(iniPath)) {
            QSettings ini(iniPath, QSettings::IniFormat);
            const QVariant v = ini.value("meters/allow");
            // A value with a comma comes back from QSettings as a list.
            listed = v.typeId() == QMetaType::QStringList ? v.toStringList().join(',').toStdString()
                                                          : v.toString().toStdString();
        }
    }
    std::vector<std::string> found;
    std::vector<std::string> ids = parseMeterIdList(listed, found);
    for (const std::string& p : found) problems.push_back("allowed meters: " + p);
    return ids;
}

}  // namespace tev
