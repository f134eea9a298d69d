#include "app/services.h"
#include "core/settings/folder_files.h"
#include "services/alerts/rules/alert_log_text.h"
#include "services/archive/sqlite/archive_reader.h"
#include "services/web/rules/quality_settings.h"

namespace tev::app {
namespace {

// What the dashboard reads: the window's store, log and meter sockets, the alerts, the tariff
// and, when it is on, the archive.
web::WebSources webSources(const ServiceContext& context, Alerts& alerts, const Archive& archive,
                           const Fleet& fleet) {
    RecorderView& recorder = context.recorder;
    web::WebSources sources;
    sources.store = &recorder.store();
    sources.log = &recorder.eventLog();
    sources.linkOn = [&recorder] { return recorder.linkOn(); };
    sources.language = [&recorder] { return recorder.language(); };
    sources.sockets = [&recorder](web::ServiceStatus& s) {
        const MeterSocketsStatus sockets = recorder.sockets();
        s.meterPort = sockets.meterPort;
        s.secondPort = sockets.secondPort;
        s.meterConnections = sockets.meterConnections;
        s.secondConnections = sockets.secondConnections;
    };
    if (archive.settings.enabled) {
        sources.archiveFolder = context.folder;
        sources.archiveQueries = archive::sqliteArchiveQueries();
    }
    sources.tariff = &alerts.settings.tariff;
    if (archive.evening)
        sources.evening = [evening = archive.evening] { return evening->latest(); };
    if (ArchivePeriods* periods = archive.periods.get()) {
        sources.meterCosts = [periods](archive::WeekStart w) { return periods->all(w); };
        sources.archivedMeters = [periods] { return periods->ids(); };
    }
    if (fleet::FleetShipper* shipper = fleet.shipper.get()) {
        sources.fleet = [shipper] {
            const fleet::FleetStatus s = shipper->status();
            return web::FleetMetrics{s.up, s.backlogRows, s.lastShippedUnix};
        };
    }
    sources.voltageNominal = alerts.settings.voltageNominal;
    sources.meterNames = context.meterNames;
    const alerts::AlertConfig& rules = alerts.service->evaluator().config();
    sources.imbalanceFloor.amps = rules.defaults.imbalanceMinAmps;
    // The evening answer's phase advice judges the imbalance as the alert does: above its
    // percentage, over hours whose phases draw more than its current floor at the nominal
    // voltage.
    sources.insights.phaseLimitPercent = rules.defaults.imbalancePercent;
    sources.insights.phaseFloorWatts =
        rules.defaults.imbalanceMinAmps *
        (alerts.settings.voltageNominal > 0 ? alerts.settings.voltageNominal
                                            : web::kDefaultVoltageNominal) *
        kPowerFactor;
    for (const auto& [id, meterRules] : rules.perMeter)
        sources.imbalanceFloor.perMeter.emplace(id, meterRules.imbalanceMinAmps);
    sources.alerts = [&recorder, &alerts] {
        web::AlertsSnapshot a;
        const MeterRegistry& registry = recorder.registry();
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
    std::vector<std::string> problems = context.settings.leftOut("http");
    const web::WebSettings settings = web::loadWebSettings(
        context.settings.group("http"), context.folder, context.options.http, problems);
    for (const std::string& p : problems) context.log(std::string(kIniFileName) + ": " + p);
    if (!settings.enabled) return;
    web::WebSources sources = webSources(context, alerts, archive, fleet);
    std::vector<ConfigProblem> dashboard;
    sources.weekStart = web::loadWeekStart(context.settings.ini, dashboard);
    // The cost line's week is the energy view's week.
    if (ArchivePeriods* periods = archive.periods.get())
        sources.primaryCosts = [periods, w = sources.weekStart] { return periods->primary(w); };
    for (const ConfigProblem& p : dashboard)
        context.log(alerts::configProblemText(kIniFileName, p));
    web.server = std::make_unique<web::WebServer>(settings, std::move(sources), context.clock);
    if (!web.server->start(context.logger())) return;
    context.observers.add(web.server.get());
    web::WebServer* w = web.server.get();
    QObject::connect(alerts.service.get(), &alerts::AlertService::alertsChanged, w,
                     [w] { w->alertsChanged(); });
    // The tray menu opens the dashboard in the desktop's browser.
    if (tray.controller) tray.controller->setDashboardUrl(web.server->url());
}

void stopWeb(const ServiceContext& context, Web& web) {
    if (web.server) context.observers.remove(web.server.get());
    web.server.reset();
}

}  // namespace tev::app
