#include "app/alert_publisher.h"

#include "services/alerts/rules/alert_json.h"
#include "services/alerts/tariff/local_midnight.h"
#include "services/archive/rules/local_time.h"
#include "services/mqtt/rules/alert_topics.h"

namespace tev::app {

namespace {
// Meters known by ID; a registry holds 200, the rest is for IDs that come and go.
constexpr std::size_t kMaxKnownMeters = 1000;
constexpr std::int64_t kMsPerSecond = 1000;
}  // namespace

AlertPublisher::AlertPublisher(mqtt::MeterPublisher& publisher, const mqtt::MqttSettings& settings,
                               const alerts::AlertService& alerts, TodaySource today,
                               std::string currency, const Clock& clock)
    : publisher_(publisher),
      settings_(settings),
      alerts_(alerts),
      today_(std::move(today)),
      currency_(std::move(currency)),
      clock_(clock) {}

void AlertPublisher::meterDataHandled(const MeterRegistry& registry, std::string_view meterId) {
    const int row = registry.find(meterId);
    if (row < 0) return;
    const std::string id(registry.rows[row].Id.view());
    const bool primary = row == 0;
    const bool alertsOn = alerts_.evaluator().config().enabled;
    auto it = lastSent_.find(id);
    if (it == lastSent_.end()) {
        if (lastSent_.size() >= kMaxKnownMeters) {
            lastSent_.clear();
            sentOnce_.clear();
        }
        const bool withCost = primary && today_ && today_().cost.has_value();
        for (mqtt::DiscoveryMessage& m :
             mqtt::alertDiscoveryMessages(settings_, id, alertsOn, withCost, currency_))
            publisher_.queueRetained(std::move(m.topic), std::move(m.payload));
        it = lastSent_.emplace(id, std::string()).first;
    }
    if (alertsOn) publishAlerts(id, it->second);
    if (primary) lastPrimary_ = id;
    if (primary && today_) publishCost(id);
}

void AlertPublisher::tick() {
    if (!lastPrimary_.empty() && today_) publishCost(lastPrimary_);
}

void AlertPublisher::publishAlerts(const std::string& id, std::string& lastSignature) {
    // Sent when an alert starts or ends, not each time a running alert's value moves.
    const std::vector<alerts::ActiveAlert> active = alerts_.evaluator().active(id);
    std::string signature;
    for (const alerts::ActiveAlert& a : active)
        signature += std::string(alerts::alertRuleName(a.rule)) + std::to_string(a.phase) + "@" +
                     std::to_string(a.sinceMs) + ";";
    if (signature != lastSignature || !sentOnce_.contains(id)) {
        publisher_.queueRetained(mqtt::alertTopic(settings_, id), alerts::activeAlertsJson(active));
        lastSignature = std::move(signature);
        sentOnce_.insert(id);
    }
}

void AlertPublisher::publishCost(const std::string& id) {
    const std::int64_t now = unixMsOf(clock_);
    if (now - lastCostMs_ < kCostIntervalMs && !lastCost_.empty()) return;
    if (const TodayFigures today = today_(); today.cost) {
        // Today's cost starts again at local midnight; Home Assistant reads the moment from
        // last_reset, so the drop is a new day, not negative spending.
        const std::time_t midnight =
            alerts::localMidnight(static_cast<std::time_t>(now / kMsPerSecond));
        std::string payload =
            mqtt::costJson(*today.cost, currency_, archive::isoLocal(midnight), today.kwh);
        if (payload != lastCost_) publisher_.queueRetained(mqtt::costTopic(settings_, id), payload);
        lastCost_ = std::move(payload);
        lastCostMs_ = now;
    }
}

void AlertPublisher::metersForgotten() {
    // The alerts ended with the link; the sensors read "off" again.
    for (auto& [id, signature] : lastSent_) {
        if (signature.empty()) continue;
        publisher_.queueRetained(mqtt::alertTopic(settings_, id), "[]");
        signature.clear();
    }
}

}  // namespace tev::app
