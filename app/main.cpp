#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QMessageBox>
#include <QSessionManager>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

#include "app/headless_dialogs.h"
#include "app/mqtt_bridge.h"
#include "app/options.h"
#include "archive_store/archive_export.h"
#include "archive_store/archive_service.h"
#include "info/info_windows.h"
#include "mainwindow/tsdf.h"
#include "mqtt/mosquitto_client.h"
#include "platform/qt/audio_tone_sink.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/termination_signals.h"
#include "platform/qt/thread_pause.h"
#include "records/trecord.h"
#include "texts/number_text.h"

namespace {

// Two programs in one folder would overwrite each other's records and settings files.
constexpr const char* kLockFileName = ".tev3p.lock";

void sayFolderInUse(const QString& folder, qint64 pid) {
    const QString text =
        QString(
            "The folder %1 is in use by another TEV3P power monitor%2. Only one program may "
            "keep its records in a folder; this one ends without touching its files.")
            .arg(QDir::toNativeSeparators(folder),
                 pid > 0 ? QString(" (process %1)").arg(pid) : QString());
    std::fprintf(stderr, "tev3p: %s\n", text.toLocal8Bit().constData());
    // Without a display nobody could answer the box.
    const QString platform = QGuiApplication::platformName();
    if (platform != "offscreen" && platform != "minimal")
        QMessageBox::critical(nullptr, "TEV3P", text);
}

}  // namespace

int main(int argc, char* argv[]) {
    // `tev3p export --meter ID …`: one meter's rows from the archive, without a window. It only
    // reads, so it runs beside the program that records in that folder.
    if (argc >= 2 && std::string_view(argv[1]) == "export") {
        const std::vector<std::string> args(argv + 2, argv + argc);
        const bool archiveExport = std::any_of(args.begin(), args.end(), [](const std::string& a) {
            return a == "--meter" || a.rfind("--meter=", 0) == 0;
        });
        if (archiveExport) return tev::archive::runArchiveExport(args, std::cout, std::cerr);
    }
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
    // Caught from the start: a stop that arrives while the files are being loaded waits in the
    // pipe until the event loop runs, and then ends the program through its close handler.
    tev::TerminationSignals terminationSignals;

    const QString folder = QDir::currentPath();
    QLockFile lock(QDir(folder).filePath(kLockFileName));
    // The lock is held for weeks: it counts as stale only when its process is gone.
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        qint64 pid = 0;
        QString host, appName;
        lock.getLockInfo(&pid, &host, &appName);
        sayFolderInUse(folder, pid);
        return 1;
    }

    tev::SystemClock clock;
    tev::AudioToneSink tones;
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
    platform.echoLogToStandardOutput = true;
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

    // MQTT publishing, off unless tev3p.ini or the command line name a broker.
    std::vector<std::string> mqttProblems;
    const tev::MqttSettings mqtt =
        tev::loadMqttSettings(folder.toStdString(), options.mqtt, mqttProblems);
    for (const std::string& p : mqttProblems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
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
    // window's close handler, which saves both files.
    QObject::connect(&terminationSignals, &tev::TerminationSignals::received, &sdf, [&sdf](int) {
        sdf.close();
        QApplication::quit();
    });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &sdf,
                     [&sdf](QSessionManager&) { sdf.FormClose(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &sdf, [&sdf] { sdf.FormClose(); });
    QApplication::setQuitOnLastWindowClosed(true);

    // A broken tev3p.ini is also told in the event log, where the user of the window looks.
    for (const std::string& p : archiveProblems)
        sdf.eventLog().append(tev::logStamp(clock.now()) + " " + tev::kIniFileName + ": " + p);
    for (const std::string& p : mqttProblems)
        sdf.eventLog().append(tev::logStamp(clock.now()) + " " + tev::kIniFileName + ": " + p);
    if (mqttBridge)
        mqttBridge->start(sdf.store().registry, [&sdf, &clock](const std::string& line) {
            sdf.eventLog().append(tev::logStamp(clock.now()) + " " + line);
        });

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
    }

    if (options.headless) {
        std::printf("tev3p: headless in %s, meters on port %u, second port %u\n",
                    QDir::toNativeSeparators(folder).toLocal8Bit().constData(),
                    static_cast<unsigned>(sdf.meterServer().meterPort()),
                    static_cast<unsigned>(sdf.meterServer().phpPort()));
        std::fflush(stdout);
    } else {
        sdf.show();
    }
    const int status = app.exec();
    sdf.FormClose();
    if (mqttBridge) mqttBridge->stop();
    if (archive) {
        meterObservers.remove(archive.get());
        archive->stop();  // writes what is still queued
    }
    return status;
}
