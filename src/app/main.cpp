#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSessionManager>
#include <QWidget>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

#include "app/alert_archive.h"
#include "app/alert_publisher.h"
#include "app/alert_settings.h"
#include "app/export_command.h"
#include "app/folder_lock.h"
#include "app/headless_dialogs.h"
#include "app/meter_settings.h"
#include "app/mqtt_bridge.h"
#include "app/options.h"
#include "app/standard_descriptors.h"
#include "app/standard_output.h"
#include "core/texts/number_text.h"
#include "platform/qt/audio_tone_sink.h"
#include "platform/qt/program_icon.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/termination_signals.h"
#include "platform/qt/thread_pause.h"
#include "platform/silent_tone_sink.h"
#include "services/alerts/notify/alert_service.h"
#include "services/alerts/notify/dbus_notifier.h"
#include "services/alerts/notify/tray_icon.h"
#include "services/alerts/tariff/cost_today.h"
#include "services/archive/sqlite/archive_reader.h"
#include "services/archive/sqlite/archive_service.h"
#include "services/mqtt/mosquitto/mosquitto_client.h"
#include "services/web/server/web_server.h"
#include "window/info/info_windows.h"
#include "window/mainwindow/tsdf.h"
#include "window/records/trecord.h"

namespace {

// How long the last log lines may wait for a slow reader of standard output at the end; a
// stalled one must not hold up a service stop.
constexpr int kFinalOutputWaitMs = 250;

}  // namespace

int main(int argc, char* argv[]) {
    // The export command reads a folder's files and ends: a stop signal ends it at once, as it
    // ends any command-line tool (the tev3p command starts the program with them held back).
    if (argc > 1 && std::string_view(argv[1]) == "export") {
        tev::openClosedStandardDescriptors();
        sigset_t stops;
        sigemptyset(&stops);
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, signal);
        ::sigprocmask(SIG_UNBLOCK, &stops, nullptr);
        return tev::runExportCommand(std::vector<std::string>(argv + 2, argv + argc));
    }
    // Before anything else: the standard descriptors exist, and a stop signal at any moment
    // from here on ends the program cleanly, through its close handler once the event loop
    // runs, or before it by the plain returns below.
    tev::openClosedStandardDescriptors();
    tev::installTerminationHandlers();
    tev::ignoreBrokenPipeSignal();

    const tev::ProgramOptions options = tev::parseProgramOptions(argc, argv);
    if (options.help) {
        std::fputs(tev::programUsage().c_str(), stdout);
        return 0;
    }
    if (!options.errors.empty()) {
        for (const std::string& e : options.errors) std::fprintf(stderr, "tev3p: %s\n", e.c_str());
        std::fputs("tev3p: --help lists the options\n", stderr);
        return 2;
    }
    if (!options.folder.empty()) {
        std::error_code ec;
        std::filesystem::current_path(options.folder, ec);
        if (ec) {
            std::fprintf(stderr, "tev3p: --folder %s: %s\n", options.folder.c_str(),
                         ec.message().c_str());
            return 2;
        }
    }
    // Without a display: Qt's offscreen platform, chosen before the application object exists.
    // The window object is still created and runs every handler; it is just never shown.
    if (options.headless) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Room for many meter connections beside the program's own files.
    tev::MeterServer::raiseOpenFileLimit();
    QApplication app(argc, argv);
    // Every window and message box carries the program's icon; the desktop entry's name ties
    // the windows to the entry where the window manager asks for it.
    QApplication::setWindowIcon(tev::programIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("tev3p"));
    // A stop caught so far, or while the files are being loaded, waits in the pipe until the
    // event loop runs, and then ends the program through its close handler.
    tev::TerminationSignals terminationSignals;
    // TEV3P_LOG_BUFFER_BYTES sets how much log waits for a slow reader (default 1 MB), so that
    // the overflow of a small buffer can be tried without a megabyte of meter traffic.
    tev::StandardOutput standardOutput(STDOUT_FILENO, tev::logBufferCapacityFromEnvironment());

    const QString folder = QDir::currentPath();
    const QString qpa = QGuiApplication::platformName();
    // Without a display nobody could answer a message box.
    const bool display = qpa != "offscreen" && qpa != "minimal";
    tev::FolderLock lock(folder);
    const tev::FolderLockDecision folderLock = lock.acquire();
    tev::tellFolderLockProblem(folderLock, display);
    if (!folderLock.starts()) return 1;

    tev::SystemClock clock;
    // Headless, the tones go nowhere: the sound output is never opened, so no sound server is
    // contacted and none complains in the journal.
    tev::SilentToneSink silentTones;
    std::unique_ptr<tev::AudioToneSink> audioTones;
    if (!options.headless) audioTones = std::make_unique<tev::AudioToneSink>();
    tev::ToneSink& tones = audioTones ? static_cast<tev::ToneSink&>(*audioTones) : silentTones;
    tev::ThreadPause pause;
    tev::QtFileChooser files;
    tev::QtMessageBoxes messages;
    tev::HeadlessMessageBoxes headlessMessages;
    tev::QtClipboard clipboard;
    tev::QtUrlOpener urls;
    tev::Platform platform;
    // Every service beside the window hears of the meter messages through this one list.
    tev::MeterObserverList meterObservers;
    platform.meterObserver = &meterObservers;
    platform.clock = &clock;
    platform.tones = &tones;
    platform.pause = &pause;
    platform.files = &files;
    platform.messages = options.headless ? static_cast<tev::MessageBoxes*>(&headlessMessages)
                                         : static_cast<tev::MessageBoxes*>(&messages);
    platform.clipboard = &clipboard;
    platform.urls = &urls;
    platform.standardOutput = &standardOutput;
    if (options.meterPort) platform.sockets.meterPort = static_cast<quint16>(*options.meterPort);
    if (options.secondPort) platform.sockets.phpPort = static_cast<quint16>(*options.secondPort);
    if (!options.listenAddress.empty()) {
        const QHostAddress address(QString::fromStdString(options.listenAddress));
        if (address.isNull()) {
            std::fprintf(stderr, "tev3p: --listen %s is not an IP address\n",
                         options.listenAddress.c_str());
            return 2;
        }
        platform.sockets.address = address;
    }

    // Which meters belong here. A mistyped ID would lock its meter out without a word.
    std::vector<std::string> allowProblems;
    platform.allowedMeters =
        tev::loadAllowedMeters(folder.toStdString(), options.allowMeters, allowProblems);
    if (!allowProblems.empty()) {
        for (const std::string& p : allowProblems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
        return 2;
    }

    // MQTT publishing, off unless tev3p.ini or the command line name a broker.
    std::vector<std::string> mqttProblems;
    const tev::MqttSettings mqtt =
        tev::loadMqttSettings(folder.toStdString(), options.mqtt, mqttProblems);
    // A broken setting is refused at start, as a bad option is: publishing somewhere else than
    // asked, or with a setting quietly replaced, would look like it works.
    if (!mqttProblems.empty()) {
        for (const std::string& p : mqttProblems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
        std::fputs("tev3p: --help lists the options\n", stderr);
        return 2;
    }
    std::unique_ptr<tev::MqttBridge> mqttBridge;
    if (mqtt.enabled()) {
        mqttBridge =
            std::make_unique<tev::MqttBridge>(mqtt, std::make_unique<tev::MosquittoClient>());
        meterObservers.add(mqttBridge.get());
    }

    // The per-meter archive, on unless [archive] enabled=false; nothing of it exists when off.
    std::vector<std::string> archiveProblems;
    const tev::archive::ArchiveSettings archiveSettings =
        tev::archive::loadArchiveSettings(folder.toStdString(), archiveProblems);
    for (const std::string& p : archiveProblems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
    std::unique_ptr<tev::archive::ArchiveService> archive;

    // The windows in their creation order: the main window first, then, hidden, the two about
    // windows, the manual window and the records manager.
    tev::Tsdf sdf(platform);
    files.setParent(&sdf);
    messages.setParent(&sdf);
    // The about windows' page is the user manual, opened as the Manual command opens it.
    tev::InfoWindows info = tev::createInfoWindows(tones, [&sdf] { sdf.Manual_bClick(); });
    tev::TRecord record(sdf);
    sdf.setSecondaryWindows({info.About.get(), info.About2.get(), info.menu.get(), &record});

    // A service stop, Ctrl+C, a closed terminal and the end of the desktop session all run the
    // window's close handler, which saves both files. A logout only asks for the files: it may
    // yet be cancelled, and recording goes on until the program really ends.
    QObject::connect(&terminationSignals, &tev::TerminationSignals::received, &sdf, [&sdf](int) {
        sdf.close();
        QApplication::quit();
    });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &sdf,
                     [&sdf](QSessionManager&) { sdf.commitData(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &sdf, [&sdf] { sdf.FormClose(); });
    QApplication::setQuitOnLastWindowClosed(true);

    tev::tellReadOnlyFolder(folderLock, sdf.eventLog(), tev::logStamp(clock.now()),
                            display ? &sdf : nullptr);
    // Alerts: bad rule or tariff lines are told once here and left out.
    tev::AlertSettings alertSettings = tev::loadAlertSettings(folder.toStdString());
    for (const std::string& p : alertSettings.problems) {
        std::fprintf(stderr, "tev3p: %s\n", p.c_str());
        sdf.eventLog().append(tev::logStamp(clock.now()) + " " + p);
    }
    tev::DbusNotifier notifier;
    tev::AlertService alerts(
        std::move(alertSettings.alerts), sdf.eventLog(), [&sdf] { return sdf.languageMode(); },
        tones, &notifier, [] { return QDateTime::currentMSecsSinceEpoch(); });
    alerts.setStamp([&clock] { return tev::logStamp(clock.now()) + " "; });
    meterObservers.add(&alerts);

    // Today's cost of the primary meter's energy, for the tray and the broker.
    tev::CostToday costToday(alertSettings.tariff);
    auto todayCost = [&sdf, &alertSettings, &costToday]() -> std::optional<double> {
        if (!alertSettings.tariff.configured()) return std::nullopt;
        const tev::LiveReadings& live = sdf.store().live;
        costToday.update(live.K1 + live.K2 + live.K3, std::time(nullptr));
        return costToday.cost();
    };
    std::unique_ptr<tev::AlertPublisher> alertPublisher;
    if (mqttBridge) {
        alertPublisher = std::make_unique<tev::AlertPublisher>(
            mqttBridge->publisher(), mqtt, alerts, todayCost, alertSettings.tariff.currency(),
            [] { return QDateTime::currentMSecsSinceEpoch(); });
        meterObservers.add(alertPublisher.get());
    }

    // The tray icon, where the desktop has a tray: the alert state, the primary meter's Watt,
    // today's energy and its cost.
    const QString iniPath = QDir(folder).filePath(tev::kIniFileName);
    std::unique_ptr<tev::QtTrayView> trayView;
    std::unique_ptr<tev::TrayController> tray;
    if (!options.headless && tev::QtTrayView::available()) {
        trayView = std::make_unique<tev::QtTrayView>();
        auto snapshot = [&sdf, &alerts, &alertSettings, todayCost] {
            tev::TraySnapshot s;
            s.linkOn = sdf.linkFlag() == 1;
            s.meterCount = sdf.store().registry.MeterCount;
            s.anyAlert = alerts.evaluator().anyActive();
            const tev::LiveReadings& live = sdf.store().live;
            s.watt = live.Watt;
            s.todayKwh = live.K1 + live.K2 + live.K3;
            s.costToday = todayCost();
            s.currency = alertSettings.tariff.currency();
            return s;
        };
        tray = std::make_unique<tev::TrayController>(*trayView, sdf, snapshot, iniPath, [&sdf] {
            sdf.close();
            QApplication::quit();
        });
        tray->setLog([&sdf, &clock](const std::string& line) {
            sdf.eventLog().append(tev::logStamp(clock.now()) + " " + line);
        });
        tev::TrayController* t = tray.get();
        QObject::connect(&alerts, &tev::AlertService::alertsChanged, t, [t] { t->refresh(); });
    }

    // A broken [archive] group is also told in the event log, where the user of the window looks.
    for (const std::string& p : archiveProblems)
        sdf.eventLog().append(tev::logStamp(clock.now()) + " " + tev::kIniFileName + ": " + p);
    if (mqttBridge)
        mqttBridge->start(sdf.store().registry, [&sdf, &clock](const std::string& line) {
            sdf.eventLog().append(tev::logStamp(clock.now()) + " " + line);
        });

    // The web dashboard, off unless --http or [http] listen= names an address.
    std::vector<std::string> webProblems;
    const tev::WebSettings web =
        tev::loadWebSettings(folder.toStdString(), options.http, webProblems);
    for (const std::string& p : webProblems)
        sdf.eventLog().append(tev::logStamp(clock.now()) + " " + tev::kIniFileName + ": " + p);
    std::unique_ptr<tev::WebServer> webServer;
    if (web.enabled) {
        QElapsedTimer steady;
        steady.start();
        tev::WebSources sources;
        sources.store = &sdf.store();
        sources.log = &sdf.eventLog();
        sources.linkOn = [&sdf] { return sdf.linkFlag() == 1; };
        sources.language = [&sdf] { return sdf.languageMode(); };
        sources.sockets = [&sdf](tev::web::ServiceStatus& s) {
            s.meterPort = sdf.meterServer().meterPort();
            s.secondPort = sdf.meterServer().phpPort();
            s.meterConnections = sdf.meterServer().meterConnectionCount();
            s.secondConnections = sdf.meterServer().phpConnectionCount();
        };
        sources.steadyMs = [steady] { return steady.elapsed(); };
        sources.unixSeconds = [] { return QDateTime::currentSecsSinceEpoch(); };
        if (archiveSettings.enabled) {
            sources.archiveFolder = folder.toStdString();
            sources.archiveQueries = tev::archive::sqliteArchiveQueries();
        }
        sources.tariff = &alertSettings.tariff;
        sources.alerts = [&sdf, &alerts] {
            tev::web::AlertsSnapshot a;
            const tev::MeterRegistry& registry = sdf.store().registry;
            for (int i = 0; i < registry.MeterCount && i < tev::kMeterRegistryCapacity; ++i) {
                const std::string_view id = registry.rows[i].Id.view();
                if (auto running = alerts.evaluator().active(id); !running.empty())
                    a.active.emplace_back(std::string(id), std::move(running));
            }
            a.history = alerts.history();
            return a;
        };
        webServer = std::make_unique<tev::WebServer>(web, std::move(sources));
        if (webServer->start([&sdf, &clock](const std::string& line) {
                sdf.eventLog().append(tev::logStamp(clock.now()) + " " + line);
            })) {
            meterObservers.add(webServer.get());
            tev::WebServer* w = webServer.get();
            QObject::connect(&alerts, &tev::AlertService::alertsChanged, w,
                             [w] { w->alertsChanged(); });
            // The tray menu opens the dashboard in the desktop's browser.
            if (tray) tray->setDashboardUrl(webServer->url());
        }
    }

    // The per-meter archive, on unless [archive] enabled=false.
    if (archiveSettings.enabled) {
        tev::archive::ArchiveWriterOptions archiveOptions;
        archiveOptions.folder = folder.toStdString();
        archiveOptions.settings = archiveSettings;
        // The writer's lines reach the event log on the GUI thread.
        archiveOptions.log = [&sdf, &clock](const std::string& line) {
            QMetaObject::invokeMethod(
                &sdf,
                [&sdf, &clock, line] {
                    sdf.eventLog().append(tev::logStamp(clock.now()) + " " + line);
                },
                Qt::QueuedConnection);
        };
        archive = std::make_unique<tev::archive::ArchiveService>(std::move(archiveOptions));
        archive->start();
        meterObservers.add(archive.get());
        tev::keepAlertsInArchive(alerts, *archive, folder.toStdString());
    }

    if (options.headless) {
        standardOutput.writeLine(QString("tev3p: headless in %1, meters on port %2, second port %3")
                                     .arg(QDir::toNativeSeparators(folder))
                                     .arg(sdf.meterServer().meterPort())
                                     .arg(sdf.meterServer().phpPort())
                                     .toLocal8Bit()
                                     .toStdString());
    } else if (!(tray && tev::TrayController::startHidden(iniPath))) {
        // Hidden to the tray when last chosen so in the tray menu.
        sdf.show();
    }
    const int status = app.exec();
    sdf.FormClose();
    if (webServer) meterObservers.remove(webServer.get());
    webServer.reset();
    if (mqttBridge) mqttBridge->stop();
    if (archive) {
        meterObservers.remove(archive.get());
        archive->stop();  // writes what is still queued
    }
    if (alertPublisher) meterObservers.remove(alertPublisher.get());
    meterObservers.remove(&alerts);
    standardOutput.finish(kFinalOutputWaitMs);
    return status;
}
