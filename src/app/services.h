#pragma once

#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/alert_publisher.h"
#include "app/alert_settings.h"
#include "app/evening_figures.h"
#include "app/options.h"
#include "app/period_figures.h"
#include "app/recorder_view.h"
#include "app/settings_file.h"
#include "core/meterlink/meter_names.h"
#include "platform/clock.h"
#include "services/alerts/notify/alert_service.h"
#include "services/alerts/notify/dbus_notifier.h"
#include "services/alerts/notify/tray_icon.h"
#include "services/archive/sqlite/archive_service.h"
#include "services/fleet/postgres/fleet_shipper.h"
#include "services/mqtt/mosquitto/mqtt_bridge.h"
#include "services/web/server/web_server.h"

// The services beside the window, each started and stopped by one function of its own. A
// service that is not configured is never created and costs nothing. Each start function hands
// the observer list its observer, through which the service hears of the meter messages; each
// stop function takes it back.
namespace tev::app {

// What every start function is handed.
struct ServiceContext {
    const ProgramOptions& options;
    std::string folder;  // the working folder, where the records, settings and tev3p.ini lie
    const SettingsFile& settings;  // tev3p.ini, read once at start
    RecorderView& recorder;        // the store, log, link, language, tones and a stop request
    const Clock& clock;
    MeterObserverList& observers;
    // The meters' names of [meters] name.<ID>, shown beside their IDs by MQTT and the dashboard.
    const MeterNames& meterNames;

    // A line in the event log, stamped with the clock; on the GUI thread only.
    void log(const std::string& line) const;
    // The same as a function to hand a service; it holds the recorder and the clock, not this.
    std::function<void(const std::string&)> logger() const;
    // The same from any thread: the line is queued to the GUI thread.
    std::function<void(const std::string&)> logFromAnyThread() const;
};

// Alerts and costs: the rules and the tariff of tev3p.ini, the event log lines, the alert tone,
// the desktop notifications, and today's cost of the primary meter.
struct Alerts {
    AlertSettings settings;
    alerts::DbusNotifier notifier;
    std::unique_ptr<alerts::AlertService> service;
    // Today's energy and, with a tariff, its cost of the primary meter, from local midnight:
    // from the records' Hour table, or with the archive on from its hour rows.
    std::function<TodayFigures()> today;
};
void startAlerts(const ServiceContext& context, Alerts& alerts);
void stopAlerts(const ServiceContext& context, Alerts& alerts);

// The tray icon, where the desktop has a tray and the program a window.
struct Tray {
    QString iniPath;
    std::unique_ptr<alerts::QtTrayView> view;
    std::unique_ptr<alerts::TrayController> controller;
};
void startTray(const ServiceContext& context, Alerts& alerts, Tray& tray);
void stopTray(const ServiceContext& context, Tray& tray);

// The per-meter archive, on unless [archive] enabled=false. Its settings are read before the
// window exists, their problems told on standard error then and in the event log at start.
struct Archive {
    archive::ArchiveSettings settings;
    std::vector<std::string> problems;
    std::unique_ptr<archive::ArchiveService> service;
    // Today's, this week's and this month's figures of each meter, while the archive is on.
    std::unique_ptr<ArchivePeriods> periods;
    // Each meter's month, projected cost and base load for /metrics and the broker; shared
    // with them, as the archive stops before they do.
    std::shared_ptr<EveningFigures> evening;
};
void loadArchive(const SettingsFile& settings, Archive& archive);
void startArchive(const ServiceContext& context, Alerts& alerts, Archive& archive);
void stopArchive(const ServiceContext& context, Archive& archive);

// The fleet sink, off unless [fleet] url= names a PostgreSQL database: a thread that copies the
// archive's rows there. A broken setting is told on standard error and refuses the start.
struct Fleet {
    fleet::FleetSettings settings;
    std::unique_ptr<fleet::FleetShipper> shipper;
};
bool loadFleet(const SettingsFile& settings, Fleet& fleet);
void startFleet(const ServiceContext& context, const Archive& archive, Fleet& fleet);
void stopFleet(const ServiceContext& context, Fleet& fleet);
// The computer's name: the fleet's site unless [fleet] site= names another.
std::string computerName();

// MQTT publishing, off unless tev3p.ini or the command line name a broker. A broken setting is
// told on standard error and refuses the start (false), as a bad option does: publishing
// somewhere else than asked, or with a setting quietly replaced, would look like it works.
struct Mqtt {
    mqtt::MqttSettings settings;
    std::vector<std::string> notes;  // told in the event log at start
    std::unique_ptr<mqtt::MqttBridge> bridge;
    std::unique_ptr<AlertPublisher> alertPublisher;
    std::unique_ptr<QTimer> costTimer;  // today's figures without a message
    // Each archived meter's evening figures, sent once a minute while the archive is on.
    std::unique_ptr<EveningPublisher> eveningPublisher;
};
bool loadMqtt(const ProgramOptions& options, const SettingsFile& settings, Mqtt& mqtt);
void startMqtt(const ServiceContext& context, Alerts& alerts, const Archive& archive, Mqtt& mqtt);
void stopMqtt(const ServiceContext& context, Mqtt& mqtt);

// The web dashboard, off unless --http or [http] listen= names an address.
struct Web {
    std::unique_ptr<web::WebServer> server;
};
void startWeb(const ServiceContext& context, Alerts& alerts, const Archive& archive,
              const Fleet& fleet, Tray& tray, Web& web);
void stopWeb(const ServiceContext& context, Web& web);

}  // namespace tev::app
