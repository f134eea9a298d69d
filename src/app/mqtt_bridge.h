#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "core/meterlink/meter_observer.h"
#include "services/mqtt/rules/meter_publisher.h"

namespace tev {

// The file beside the records and settings files that holds the MQTT settings, QSettings INI
// format, group [mqtt]: host, port, tls, user, password_file, prefix, client_id,
// discovery_prefix.
inline constexpr const char* kIniFileName = "tev3p.ini";

// The MQTT settings of the folder's tev3p.ini with the command-line keys laid over them. A
// relative password file is taken from the folder. Problems are added to `problems`. A file
// that cannot be read as INI at all is no broken MQTT setting: publishing is off unless the
// command line names a broker, and `notes` says so.
MqttSettings loadMqttSettings(const std::string& folder,
                              const std::map<std::string, std::string>& commandLine,
                              std::vector<std::string>& problems,
                              std::vector<std::string>* notes = nullptr);

// Connects the main window's meter link to a MeterPublisher: marks meters as their messages
// are handled and runs the publisher's service from a timer on the GUI thread.
class MqttBridge final : public QObject, public MeterObserver {
  public:
    static constexpr int kServiceIntervalMs = 200;

    MqttBridge(const MqttSettings& settings, std::unique_ptr<MqttClient> client);
    ~MqttBridge() override;

    // Starts publishing the registry's meters; log lines go to `log`.
    void start(const MeterRegistry& registry, MeterPublisher::LogSink log);
    void stop();

    void meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) override;
    void metersForgotten() override;

    MeterPublisher& publisher() { return *publisher_; }

  private:
    std::unique_ptr<MqttClient> client_;
    MeterPublisher::LogSink log_;
    std::unique_ptr<MeterPublisher> publisher_;
    const MeterRegistry* registry_ = nullptr;
    QTimer timer_;
    QElapsedTimer clock_;
};

}  // namespace tev
