#include "app/mqtt_settings_file.h"

#include <QString>
#include <QSysInfo>

#include "core/settings/folder_files.h"

namespace tev::app {

mqtt::MqttSettings loadMqttSettings(const SettingsFile& settings,
                                    const std::map<std::string, std::string>& commandLine,
                                    std::vector<std::string>& problems,
                                    std::vector<std::string>* notes) {
    if (!settings.readable && notes != nullptr)
        notes->push_back(std::string(kIniFileName) +
                         " could not be read: its MQTT settings are left out");
    for (const std::string& p : settings.leftOut("mqtt")) problems.push_back(p);
    std::map<std::string, std::string> keys = settings.group("mqtt");
    for (const auto& [key, value] : commandLine) keys[key] = value;
    mqtt::MqttSettings s = mqtt::mqttSettingsFrom(keys, problems);
    s.passwordFile = pathInFolder(settings.folder, s.passwordFile);
    if (s.clientId.empty()) {
        QString host = QSysInfo::machineHostName();
        if (host.isEmpty()) host = "host";
        s.clientId = "tev3p-" + host.toStdString();
    }
    return s;
}

}  // namespace tev::app
