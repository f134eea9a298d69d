#include "app/meter_settings.h"

#include "core/meterlink/meter_allow_list.h"

namespace tev::app {

std::vector<std::string> loadAllowedMeters(const app::SettingsFile& settings,
                                           const std::vector<std::string>& commandLine,
                                           std::vector<std::string>& problems) {
    std::string listed;
    if (!commandLine.empty()) {
        for (const std::string& id : commandLine) listed += id + ",";
    } else {
        for (const std::string& p : settings.leftOut("meters")) problems.push_back(p);
        const auto keys = settings.group("meters");
        if (const auto allow = keys.find("allow"); allow != keys.end()) listed = allow->second;
    }
    std::vector<std::string> found;
    std::vector<std::string> ids = parseMeterIdList(listed, found);
    for (const std::string& p : found) problems.push_back("allowed meters: " + p);
    return ids;
}

MeterNames loadMeterNames(const app::SettingsFile& settings, std::vector<std::string>& problems) {
    return meterNamesFrom(settings.group("meters"), problems);
}

}  // namespace tev::app
