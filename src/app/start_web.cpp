#include "app/services.h"
#include "services/archive/sqlite/archive_reader.h"
#include "window/mainwindow/tsdf.h"

namespace tev::app {
namespace {

// What the dashboard reads: the window's store, log and meter sockets, the alerts, the tariff
// and, when it is on, the archive.
WebSources webSources(const ServiceContext& context, Alerts& alerts, const Archive& archive,
                      const Fleet& fleet) {
    Tsdf& sdf = context.window;
    WebSources sources;
    sources.store = &sdf.store();
    sources.log = &sdf.eventLog();
    sources.linkOn = [&sdf] { return sdf.linkFlag() == 1; };
    sources.language = [&sdf] { return sdf.languageMode(); };
    sources.sockets = [&sdf](web::ServiceStatus& s) {
        s.meterPort = sdf.meterServer().meterPort();
        s.secondPort = sdf.meterServer().phpPort();
        s.meterConnections = sdf.meterServer().meterConnectionCount();
        s.secondConnections = sdf.meterServer().phpConnectionCount();
    };
    if (archive.settings.enabled) {
        sources.archiveFolder = context.folder;
        sources.archiveQueries = archive::sqliteArchiveQueries();
    }
    sources.tariff = &alerts.settings.tariff;
    if (fleet::FleetShipper* shipper = fleet.shipper.get()) {
        sources.fleet = [shipper] {
            const fleet::FleetStatus s = shipper->status();
            return web::FleetMetrics{s.up, s.backlogRows, s.lastShippedUnix};
        };
    }
    sources.voltageNominal = alerts.settings.voltageNominal;
    sources.alerts = [&sdf, &alerts] {
        web::AlertsSnapshot a;
        const MeterRegistry& registry = sdf.store().registry;
        for (int i = 0; i < registry.MeterCount && i < kMeterRegistryCapacity; ++i) {
            const std::string_view id = registry.rows[i].Id.view();
            if (auto running = alerts.service->evaluator().active(id); !running.empty())
                a.active.emplace_back(std::string(id), std::move(running));
        }
        a.history = alerts.service->history();
        return a;
    };
    return sources;
}

}  // namespace

void startWeb(const ServiceContext& context, Alerts& alerts, const Archive& archive,
              const Fleet& fleet, Tray& tray, Web& web) {
    std::vector<std::string> problems;
    const WebSettings settings = loadWebSettings(context.folder, context.options.http, problems);
    for (const std::string& p : problems) context.log(std::string(kIniFileName) + ": " + p);
    if (!settings.enabled) return;
    web.server = std::make_unique<WebServer>(settings, webSources(context, alerts, archive, fleet),
                                             context.clock);
    if (!web.server->start(context.logger())) return;
    context.observers.add(web.server.get());
    WebServer* w = web.server.get();
    QObject::connect(alerts.service.get(), &AlertService::alertsChanged, w,
                     [w] { w->alertsChanged(); });
    // The tray menu opens the dashboard in the desktop's browser.
    if (tray.controller) tray.controller->setDashboardUrl(web.server->url());
}

void stopWeb(const ServiceContext& context, Web& web) {
    if (web.server) context.observers.remove(web.server.get());
    web.server.reset();
}

}  // namespace tev::app
