#include <QDateTime>
#include <cstdio>
#include <ctime>

#include "app/services.h"
#include "core/texts/number_text.h"
#include "window/mainwindow/tsdf.h"

namespace tev::app {

void startAlerts(const ServiceContext& context, Alerts& alerts) {
    // Bad rule or tariff lines are told once here and left out.
    alerts.settings = loadAlertSettings(context.folder);
    for (const std::string& p : alerts.settings.problems) {
        std::fprintf(stderr, "tev3p: %s\n", p.c_str());
        context.log(p);
    }
    Tsdf& sdf = context.window;
    const Clock& clock = context.clock;
    alerts.service = std::make_unique<AlertService>(
        std::move(alerts.settings.alerts), sdf.eventLog(), [&sdf] { return sdf.languageMode(); },
        *sdf.platform().tones, &alerts.notifier, [] { return QDateTime::currentMSecsSinceEpoch(); });
    alerts.service->setStamp([&clock] { return logStamp(clock.now()) + " "; });
    context.observers.add(alerts.service.get());

    // Today's cost of the primary meter's energy, for the tray and the broker.
    alerts.costToday = std::make_unique<CostToday>(alerts.settings.tariff);
    alerts.todayCost = [&sdf, &alerts]() -> std::optional<double> {
        if (!alerts.settings.tariff.configured()) return std::nullopt;
        const LiveReadings& live = sdf.store().live;
        alerts.costToday->update(live.K1 + live.K2 + live.K3, std::time(nullptr));
        return alerts.costToday->cost();
    };
}

void stopAlerts(const ServiceContext& context, Alerts& alerts) {
    context.observers.remove(alerts.service.get());
}

}  // namespace tev::app
