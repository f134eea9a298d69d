#include <cstdio>

#include "app/services.h"
#include "core/texts/number_text.h"
#include "services/web/rules/row_cost.h"

namespace tev::app {

void startAlerts(const ServiceContext& context, Alerts& alerts) {
    // Bad rule or tariff lines are told once here and left out.
    alerts.settings = loadAlertSettings(context.settings);
    for (const std::string& p : alerts.settings.problems) {
        std::fprintf(stderr, "tev3p: %s\n", p.c_str());
        context.log(p);
    }
    RecorderView& recorder = context.recorder;
    const Clock& clock = context.clock;
    alerts.service = std::make_unique<alerts::AlertService>(
        std::move(alerts.settings.alerts), recorder.eventLog(),
        [&recorder] { return recorder.language(); }, recorder.tones(), &alerts.notifier, clock);
    alerts.service->setStamp([&clock] { return logStamp(clock.now()) + " "; });
    context.observers.add(alerts.service.get());

    // Today's energy of the primary meter and its cost, for the tray and the broker: the same
    // figures as the dashboard's, from the Hour table's rows of today. They follow the meter's
    // own day count and clock; the archive, when it is on, replaces them (startArchive).
    const alerts::Tariff& tariff = alerts.settings.tariff;
    const auto today = [&clock] {
        const DateTime now = clock.now();
        return static_cast<std::int32_t>((now.year % 100) * 10000 + now.month * 100 + now.day);
    };
    alerts.today = [&recorder, &tariff, today] {
        const web::TodayFigures f =
            web::todayFigures(recorder.store().table(TimeScale::Hour), tariff, today());
        TodayFigures out{f.kwh, std::nullopt};
        if (tariff.configured()) out.cost = f.cost;
        return out;
    };
}

void stopAlerts(const ServiceContext& context, Alerts& alerts) {
    if (!alerts.service) return;
    context.observers.remove(alerts.service.get());
    // The alerts still running end now, logged and handed to the archive and the broker like
    // any end: the services that write them down stop after this.
    alerts.service->endAll();
}

}  // namespace tev::app
