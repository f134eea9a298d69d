#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "app/period_figures.h"
#include "core/meterlink/meter_observer.h"
#include "services/alerts/notify/alert_service.h"
#include "services/mqtt/rules/meter_publisher.h"

namespace tev::app {

// Puts the alerts on the MQTT broker beside the meters' states: each meter's running alerts,
// retained, whenever they change, with Home Assistant discovery of one problem sensor per rule
// the first time a meter is heard; and the primary meter's cost and energy today when a tariff
// is set.
// Added to the meter observers after the AlertService, so it sees the state after the rules.
class AlertPublisher final : public MeterObserver {
  public:
    // Today's figures of the primary meter; published while they hold a cost.
    using TodaySource = std::function<TodayFigures()>;
    // The cost is sent at most this often, and only when it changed.
    static constexpr std::int64_t kCostIntervalMs = 10000;

    AlertPublisher(mqtt::MeterPublisher& publisher, const mqtt::MqttSettings& settings,
                   const alerts::AlertService& alerts, TodaySource today, std::string currency,
                   const Clock& clock);

    // Only data messages can change the alerts or today's energy.
    void meterMessageHandled(const MeterRegistry&, std::string_view) override {}
    void meterDataHandled(const MeterRegistry& registry, std::string_view meterId) override;
    void metersForgotten() override;
    // Called every kCostIntervalMs: today's figures of the last primary meter heard are sent
    // when they changed, also while no message comes (the link is off, or a new day began).
    void tick();

  private:
    void publishAlerts(const std::string& id, std::string& lastSignature);
    void publishCost(const std::string& id);

    mqtt::MeterPublisher& publisher_;
    mqtt::MqttSettings settings_;
    const alerts::AlertService& alerts_;
    TodaySource today_;
    std::string currency_;
    const Clock& clock_;
    // By meter ID: the running alerts last sent, as rule, phase and start ("" for none).
    std::unordered_map<std::string, std::string> lastSent_;
    std::unordered_set<std::string> sentOnce_;
    std::string lastPrimary_;
    std::string lastCost_;
    std::int64_t lastCostMs_ = 0;
};

}  // namespace tev::app
