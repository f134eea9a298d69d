#include "services/mqtt/mosquitto/mqtt_bridge.h"

namespace tev::mqtt {

MqttBridge::MqttBridge(const MqttSettings& settings, std::unique_ptr<MqttClient> client)
    : client_(std::move(client)) {
    publisher_ = std::make_unique<MeterPublisher>(settings, *client_, [this](const std::string& l) {
        if (log_) log_(l);
    });
    timer_.setInterval(kServiceIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (registry_ != nullptr) publisher_->service(*registry_, clock_.elapsed());
    });
}

MqttBridge::~MqttBridge() {
    stop();
}

void MqttBridge::start(const MeterRegistry& registry, MeterPublisher::LogSink log) {
    registry_ = &registry;
    log_ = std::move(log);
    clock_.start();
    publisher_->start();
    timer_.start();
}

void MqttBridge::stop() {
    if (registry_ == nullptr) return;
    timer_.stop();
    // What is still waiting goes out before the goodbye, as far as the client takes it.
    publisher_->service(*registry_, clock_.elapsed());
    publisher_->stop();
    registry_ = nullptr;
    log_ = nullptr;
}

void MqttBridge::meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) {
    publisher_->meterMessage(registry, meterId);
}

void MqttBridge::metersForgotten() {
    publisher_->allMetersOffline();
}

}  // namespace tev::mqtt
