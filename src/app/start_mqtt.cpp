#include <cstdio>

#include "app/mqtt_settings_file.h"
#include "app/services.h"
#include "services/mqtt/mosquitto/mosquitto_client.h"

namespace tev::app {

bool loadMqtt(const ProgramOptions& options, const SettingsFile& settings, Mqtt& mqtt) {
    std::vector<std::string> problems;
    mqtt.settings = loadMqttSettings(settings, options.mqtt, problems, &mqtt.notes);
    for (const std::string& n : mqtt.notes) std::fprintf(stderr, "tev3p: %s\n", n.c_str());
    if (problems.empty()) return true;
    for (const std::string& p : problems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
    std::fputs("tev3p: --help lists the options\n", stderr);
    return false;
}

void startMqtt(const ServiceContext& context, Alerts& alerts, const Archive& archive, Mqtt& mqtt) {
    for (const std::string& n : mqtt.notes) context.log(n);
    if (!mqtt.settings.enabled()) return;
    mqtt.settings.meterNames = context.meterNames;
    mqtt.bridge = std::make_unique<mqtt::MqttBridge>(
        mqtt.settings, std::make_unique<mqtt::MosquittoClient>(), context.clock);
    context.observers.add(mqtt.bridge.get());
    // The alerts and today's cost are published beside the meters' states.
    mqtt.alertPublisher = std::make_unique<AlertPublisher>(
        mqtt.bridge->publisher(), mqtt.settings, *alerts.service, alerts.today,
        alerts.settings.tariff.currency(), context.clock);
    context.observers.add(mqtt.alertPublisher.get());
    mqtt.costTimer = std::make_unique<QTimer>();
    mqtt.costTimer->setInterval(static_cast<int>(AlertPublisher::kCostIntervalMs));
    QObject::connect(mqtt.costTimer.get(), &QTimer::timeout,
                     [p = mqtt.alertPublisher.get()] { p->tick(); });
    mqtt.costTimer->start();
    // Each archived meter's month, projected cost and base load, while the archive is on.
    if (archive.evening)
        mqtt.eveningPublisher = std::make_unique<EveningPublisher>(
            mqtt.bridge->publisher(), mqtt.settings, archive.evening,
            alerts.settings.tariff.currency(), alerts.settings.tariff.configured());
    mqtt.bridge->start(context.recorder.registry(), context.logger());
}

void stopMqtt(const ServiceContext& context, Mqtt& mqtt) {
    if (!mqtt.bridge) return;
    mqtt.costTimer.reset();
    mqtt.eveningPublisher.reset();
    mqtt.bridge->stop();
    context.observers.remove(mqtt.alertPublisher.get());
    context.observers.remove(mqtt.bridge.get());
    mqtt.alertPublisher.reset();
}

}  // namespace tev::app
