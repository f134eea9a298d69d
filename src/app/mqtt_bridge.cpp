#include "app/mqtt_bridge.h"

#include <QSysInfo>

#include "app/ini_group.h"

namespace tev {

MqttSettings loadMqttSettings(const std::string& folder,
                              const std::map<std::string, std::string>& commandLine,
                              std::vector<std::string>& problems, std::vector<std::string>* notes) {
    std::map<std::string, std::string> keys;
    if (!readIniGroup(folder, "mqtt", keys) && notes != nullptr)
        notes->push_back(std::string(kIniFileName) +
                         " could not be read as an INI file: its MQTT settings are left out");
    for (const auto& [key, value] : commandLine) keys[key] = value;
    MqttSettings s = mqttSettingsFrom(keys, problems);
    s.passwordFile = pathInFolder(folder, s.passwordFile);
    if (s.clientId.empty()) {
        QString host = QSysInfo::machineHostName();
        if (host.isEmpty()) host = "host";
        s.clientId = "tev3p-" + host.toStdString();
    }
    return s;
}

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

}  // namespace tev
