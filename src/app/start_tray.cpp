#include <QDir>

#include "app/services.h"
#include "core/settings/folder_files.h"

namespace tev::app {

void startTray(const ServiceContext& context, Alerts& alerts, Tray& tray) {
    tray.iniPath = QDir(QString::fromStdString(context.folder)).filePath(kIniFileName);
    RecorderView& recorder = context.recorder;
    QWidget* window = recorder.window();
    if (context.options.headless || window == nullptr || !alerts::QtTrayView::available()) return;
    // The alert state, the primary meter's Watt, today's energy and its cost.
    tray.view = std::make_unique<alerts::QtTrayView>();
    auto snapshot = [&recorder, &alerts] {
        alerts::TraySnapshot s;
        s.linkOn = recorder.linkOn();
        s.meterCount = recorder.registry().MeterCount;
        s.anyAlert = alerts.service->evaluator().anyActive();
        const LiveReadings& live = recorder.store().live;
        s.watt = live.Watt;
        const TodayFigures today = alerts.today();
        s.todayKwh = today.kwh;
        s.costToday = today.cost;
        s.currency = alerts.settings.tariff.currency();
        return s;
    };
    tray.controller = std::make_unique<alerts::TrayController>(
        *tray.view, *window, snapshot, tray.iniPath, [&recorder] { recorder.requestStop(); });
    tray.controller->setLog(context.logger());
    alerts::TrayController* t = tray.controller.get();
    QObject::connect(alerts.service.get(), &alerts::AlertService::alertsChanged, t,
                     [t] { t->refresh(); });
}

void stopTray(const ServiceContext&, Tray& tray) {
    tray.controller.reset();
    tray.view.reset();
}

}  // namespace tev::app
