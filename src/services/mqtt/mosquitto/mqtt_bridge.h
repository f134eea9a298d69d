#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/meterlink/meter_observer.h"
#include "platform/clock.h"
#include "services/mqtt/rules/meter_publisher.h"

namespace tev::mqtt {

// Connects the main window's meter link to a MeterPublisher: marks meters as their messages
// are handled and runs the publisher's service from a timer on the GUI thread.
class MqttBridge final : public QObject, public MeterObserver {
  public:
    static constexpr int kServiceIntervalMs = 200;

    MqttBridge(const MqttSettings& settings, std::unique_ptr<MqttClient> client,
               const Clock& clock);
    ~MqttBridge() override;

    // Starts publishing the registry's meters; log lines go to `log`.
    void start(const MeterRegistry& registry, MeterPublisher::LogSink log);
    void stop();

    void meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) override;
    void meterDataHandled(const MeterRegistry& registry, std::string_view meterId) override;
    void metersForgotten() override;

    MeterPublisher& publisher() { return *publisher_; }

  private:
    std::unique_ptr<MqttClient> client_;
    MeterPublisher::LogSink log_;
    std::unique_ptr<MeterPublisher> publisher_;
    const MeterRegistry* registry_ = nullptr;
    QTimer timer_;
    // The publisher's service runs on milliseconds since start().
    std::int64_t sinceStartMs() const;
    const Clock& clock_;
    std::int64_t startMs_ = 0;
};

}  // namespace tev::mqtt
