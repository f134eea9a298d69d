#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/settings_file.h"
#include "services/mqtt/rules/mqtt_settings.h"

namespace tev::app {

// The [mqtt] group of tev3p.ini with the command-line keys laid over them. A relative password
// file is taken from the folder. Problems, a line of the group that is not UTF-8 text among
// them, are added to `problems`. A file that cannot be read at all is no broken MQTT setting:
// publishing is off unless the command line names a broker, and `notes` says so.
mqtt::MqttSettings loadMqttSettings(const SettingsFile& settings,
                                    const std::map<std::string, std::string>& commandLine,
                                    std::vector<std::string>& problems,
                                    std::vector<std::string>* notes = nullptr);

}  // namespace tev::app
