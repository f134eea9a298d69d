#include "services/archive/rules/retention.h"

#include <charconv>

namespace tev::archive {
namespace {

constexpr int kMaxDays = 100 * 366;

bool readDays(const std::map<std::string, std::string>& keys, const std::string& key, int& days,
              std::vector<std::string>& problems) {
    const auto it = keys.find(key);
    if (it == keys.end()) return true;
    int value = 0;
    const std::string& text = it->second;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > kMaxDays) {
        problems.push_back("[archive] " + key + "=" + text + " is not a number of days from 1 to " +
                           std::to_string(kMaxDays));
        return false;
    }
    days = value;
    return true;
}

}  // namespace

ArchiveSettings archiveSettingsFrom(const std::map<std::string, std::string>& keys,
                                    std::vector<std::string>& problems) {
    ArchiveSettings s;
    if (const auto it = keys.find("enabled"); it != keys.end()) {
        if (it->second == "false" || it->second == "0" || it->second == "no")
            s.enabled = false;
        else if (it->second == "true" || it->second == "1" || it->second == "yes")
            s.enabled = true;
        else
            problems.push_back("[archive] enabled=" + it->second + " is neither true nor false");
    }
    readDays(keys, "minute_days", s.minuteDays, problems);
    readDays(keys, "hour_days", s.hourDays, problems);
    return s;
}

RetentionCutoffs retentionCutoffs(std::int64_t nowUnixSeconds, const ArchiveSettings& settings) {
    constexpr std::int64_t kDay = 86400;
    return {nowUnixSeconds - settings.minuteDays * kDay, nowUnixSeconds - settings.hourDays * kDay};
}

}  // namespace tev::archive
