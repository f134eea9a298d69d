#include "core/meterlink/meter_allow_list.h"

#include <algorithm>

#include "core/meterlink/message_fields.h"
#include "core/store/meter_registry.h"

namespace tev {

MeterAllowList::MeterAllowList(const std::vector<std::string>& ids)
    : ids_(ids.begin(), ids.end()) {}

bool MeterAllowList::allows(std::string_view id) const {
    return ids_.empty() || ids_.count(std::string(id.substr(0, kMeterIdLength))) > 0;
}

bool MeterAllowList::reportRefusal(std::string_view id, std::int64_t nowS) {
    const std::string key(id.substr(0, kMeterIdLength));
    auto it = reported_.find(key);
    if (it != reported_.end()) {
        // A clock set back counts as time passed, so a refusal is never silenced for long.
        if (nowS >= it->second && nowS - it->second < kReportIntervalS) return false;
        it->second = nowS;
        return true;
    }
    if (reported_.size() >= kMaxRemembered) {
        std::erase_if(reported_, [nowS](const auto& e) {
            return nowS < e.second || nowS - e.second >= kReportIntervalS;
        });
        if (reported_.size() >= kMaxRemembered) return false;
    }
    reported_.emplace(key, nowS);
    return true;
}

std::vector<std::string> parseMeterIdList(std::string_view text,
                                          std::vector<std::string>& problems) {
    std::vector<std::string> ids;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        std::string_view entry = text.substr(start, comma - start);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t'))
            entry.remove_suffix(1);
        if (!entry.empty()) {
            if (entry.size() == kMeterIdLength && isStorableMeterId(entry))
                ids.emplace_back(entry);
            else
                problems.push_back("meter ID \"" + std::string(entry) +
                                   "\" is not 12 printable characters");
        }
        start = comma + 1;
    }
    return ids;
}

}  // namespace tev
