#include "services/web/rules/alerts_json.h"

#include "core/texts/json_text.h"
#include "services/alerts/rules/alert_json.h"

namespace tev::web {

std::string alertsJson(const AlertsSnapshot& alerts) {
    std::string out = "{\"active\":{";
    bool first = true;
    for (const auto& [meter, running] : alerts.active) {
        if (running.empty()) continue;
        if (!first) out += ',';
        first = false;
        appendJsonString(out, meter);
        out += ':';
        out += alerts::activeAlertsJson(running);
    }
    out += "},\"history\":[";
    const std::size_t n = alerts.history.size();
    const std::size_t from = n > kAlertHistoryPerAnswer ? n - kAlertHistoryPerAnswer : 0;
    for (std::size_t i = from; i < n; ++i) {
        const alerts::AlertEvent& e = alerts.history[i];
        if (i > from) out += ',';
        out += "{\"time\":";
        appendJsonString(out, alerts::isoUtc(e.timeMs));
        out += ",\"meter\":";
        appendJsonString(out, e.meterId);
        out += ",\"rule\":";
        appendJsonString(out, alerts::alertRuleName(e.rule));
        out += ",\"phase\":";
        appendJsonInteger(out, e.phase);
        out += e.started ? ",\"event\":\"start\"" : ",\"event\":\"end\"";
        out += ",\"value\":";
        appendJsonNumber(out, static_cast<float>(e.value));
        out += ",\"threshold\":";
        appendJsonNumber(out, static_cast<float>(e.threshold));
        out += '}';
    }
    out += "]}";
    return out;
}

}  // namespace tev::web
