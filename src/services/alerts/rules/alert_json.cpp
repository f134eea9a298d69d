#include "services/alerts/rules/alert_json.h"

#include <ctime>

#include "core/texts/json_text.h"

namespace tev::alerts {

namespace {

// Readings carry at most a few decimals; three keep the JSON short and exact enough.
std::string number(double v) {
    std::string out;
    appendJsonFixed(out, v, 3, true);
    return out;
}

}  // namespace

std::string isoUtc(std::int64_t timeMs) {
    const std::time_t secs = static_cast<std::time_t>(timeMs / 1000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string activeAlertsJson(const std::vector<ActiveAlert>& alerts) {
    std::string out = "[";
    for (const ActiveAlert& a : alerts) {
        if (out.size() > 1) out += ',';
        out += "{\"rule\":";
        appendJsonString(out, alertRuleName(a.rule));
        out += ",\"phase\":" + std::to_string(a.phase);
        out += ",\"value\":" + number(a.value);
        out += ",\"threshold\":" + number(a.threshold);
        out += ",\"since\":\"" + isoUtc(a.sinceMs) + "\"}";
    }
    out += ']';
    return out;
}

}  // namespace tev::alerts
