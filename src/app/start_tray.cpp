#include <QApplication>
#include <QDir>

#include "app/services.h"
#include "window/mainwindow/tsdf.h"

namespace tev::app {

void startTray(const ServiceContext& context, Alerts& alerts, Tray& tray) {
    tray.iniPath = QDir(QString::fromStdString(context.folder)).filePath(kIniFileName);
    if (context.options.headless || !QtTrayView::available()) return;
    // The alert state, the primary meter's Watt, today's energy and its cost.
    Tsdf& sdf = context.window;
    tray.view = std::make_unique<QtTrayView>();
    auto snapshot = [&sdf, &alerts] {
        TraySnapshot s;
        s.linkOn = sdf.linkFlag() == 1;
        s.meterCount = sdf.store().registry.MeterCount;
        s.anyAlert = alerts.service->evaluator().anyActive();
        const LiveReadings& live = sdf.store().live;
        s.watt = live.Watt;
        s.todayKwh = alerts.todayKwh();
        s.costToday = alerts.todayCost();
        s.currency = alerts.settings.tariff.currency();
        return s;
    };
    tray.controller =
        std::make_unique<TrayController>(*tray.view, sdf, snapshot, tray.iniPath, [&sdf] {
            sdf.close();
            QApplication::quit();
        });
    tray.controller->setLog(context.logger());
    TrayController* t = tray.controller.get();
    QObject::connect(alerts.service.get(), &AlertService::alertsChanged, t, [t] { t->refresh(); });
}

void stopTray(const ServiceContext&, Tray& tray) {
    tray.controller.reset();
    tray.view.reset();
}

}  // namespace tev::app
