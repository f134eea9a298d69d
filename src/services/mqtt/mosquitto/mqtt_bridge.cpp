#include "services/mqtt/mosquitto/mqtt_bridge.h"

namespace tev::mqtt {

MqttBridge::MqttBridge(const MqttSettings& settings, std::unique_ptr<MqttClient> client,
                       const Clock& clock)
    : client_(std::move(client)), clock_(clock) {
    publisher_ = std::make_unique<MeterPublisher>(settings, *client_, [this](const std::string& l) {
        if (log_) log_(l);
    });
    timer_.setInterval(kServiceIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (registry_ != nullptr) publisher_->service(*registry_, sinceStartMs());
    });
}

MqttBridge::~MqttBridge() {
    stop();
}

void MqttBridge::start(const MeterRegistry& registry, MeterPublisher::LogSink log) {
    registry_ = &registry;
    log_ = std::move(log);
    startMs_ = steadyMsOf(clock_);
    publisher_->start();
    timer_.start();
}

void MqttBridge::stop() {
    if (registry_ == nullptr) return;
    timer_.stop();
    // What is still waiting goes out before the goodbye, as far as the client takes it.
    publisher_->service(*registry_, sinceStartMs());
    publisher_->stop();
    registry_ = nullptr;
    log_ = nullptr;
}

std::int64_t MqttBridge::sinceStartMs() const {
    return steadyMsOf(clock_) - startMs_;
}

void MqttBridge::meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) {
    publisher_->meterMessage(registry, meterId, false);
}

void MqttBridge::meterDataHandled(const MeterRegistry& registry, std::string_view meterId) {
    publisher_->meterMessage(registry, meterId, true);
}

void MqttBridge::metersForgotten() {
    publisher_->allMetersOffline();
}

}  // namespace tev::mqtt
