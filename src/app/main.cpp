#include <QApplication>
#include <QDir>
#include <QSessionManager>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "app/export_command.h"
#include "app/fleet_resend_command.h"
#include "app/folder_lock.h"
#include "app/meter_settings.h"
#include "app/port_holder.h"
#include "app/program_seams.h"
#include "app/services.h"
#include "app/standard_descriptors.h"
#include "app/stop_watchdog.h"
#include "app/window_view.h"
#include "core/settings/folder_files.h"
#include "core/texts/number_text.h"
#include "platform/qt/program_icon.h"
#include "platform/qt/termination_signals.h"
#include "services/fleet/rules/fleet_schema.h"
#include "window/info/info_windows.h"
#include "window/records/trecord.h"

namespace {

// How long the last log lines may wait for a slow reader of standard output at the end; a
// stalled one must not hold up a service stop.
constexpr int kFinalOutputWaitMs = 250;
// How long the services beside the window may take to stop once both files are saved: every
// one of them gives up its work at once when asked, so only a hang reaches this.
constexpr std::chrono::milliseconds kServicesStopLimit{4000};

// The export and fleet-resend commands work on a folder's files and end: a stop signal ends
// them at once, as it ends any command-line tool (the tev3p command starts the program with
// them held back).
int runCommand(int (*command)(const std::vector<std::string>&), int argc, char* argv[]) {
    tev::app::openClosedStandardDescriptors();
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, signal);
    ::sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    return command(std::vector<std::string>(argv + 2, argv + argc));
}

// --help, a bad option and an unusable --folder end the program before it starts; otherwise
// the working folder is the one asked for.
std::optional<int> answerOptions(const tev::app::ProgramOptions& options) {
    if (options.help) {
        std::fputs(tev::app::programUsage().c_str(), stdout);
        return 0;
    }
    if (!options.errors.empty()) {
        for (const std::string& e : options.errors) std::fprintf(stderr, "tev3p: %s\n", e.c_str());
        std::fputs("tev3p: --help lists the options\n", stderr);
        return 2;
    }
    std::error_code ec;
    if (!options.folder.empty()) std::filesystem::current_path(options.folder, ec);
    if (!ec) return std::nullopt;
    std::fprintf(stderr, "tev3p: --folder %s: %s\n", options.folder.c_str(), ec.message().c_str());
    return 2;
}

// The windows in their creation order: the main window first, then, hidden, the two about
// windows, the manual window and the records manager.
struct ProgramWindows {
    explicit ProgramWindows(tev::app::ProgramSeams& seams)
        : sdf(seams.window()),
          // The about windows' page is the user manual, opened as the Manual command opens it.
          info(tev::createInfoWindows(seams.tones(), [this] { sdf.Manual_bClick(); })),
          record(sdf) {
        seams.placeDialogsOver(sdf);
        sdf.setSecondaryWindows({info.About.get(), info.About2.get(), info.menu.get(), &record});
    }
    tev::Tsdf sdf;
    tev::InfoWindows info;
    tev::TRecord record;
};

// A service stop, Ctrl+C, a closed terminal and the end of the desktop session all run the
// window's close handler, which saves both files. A logout only asks for the files: it may yet
// be cancelled, and recording goes on until the program really ends.
void closeOnStop(QApplication& app, tev::TerminationSignals& stops, tev::Tsdf& sdf) {
    QObject::connect(&stops, &tev::TerminationSignals::received, &sdf, [&sdf](int) {
        sdf.close();
        QApplication::quit();
    });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &sdf,
                     [&sdf](QSessionManager&) { sdf.commitData(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &sdf, [&sdf] { sdf.FormClose(); });
    QApplication::setQuitOnLastWindowClosed(true);
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace tev::app;
    if (argc > 1 && std::string_view(argv[1]) == "export")
        return runCommand(runExportCommand, argc, argv);
    if (argc > 1 && std::string_view(argv[1]) == "fleet-resend")
        return runCommand(runFleetResendCommand, argc, argv);
    if (argc > 1 && std::string_view(argv[1]) == "fleet-schema") {
        std::fputs(tev::fleet::fleetSchemaSql().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    // Before anything else: the standard descriptors exist, and a stop signal at any moment
    // from here on ends the program cleanly, through its close handler once the event loop
    // runs, or before it by the plain returns below.
    tev::app::openClosedStandardDescriptors();
    tev::installTerminationHandlers();
    tev::app::ignoreBrokenPipeSignal();

    const tev::app::ProgramOptions options = tev::app::parseProgramOptions(argc, argv);
    if (const std::optional<int> end = answerOptions(options)) return *end;
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
    tev::app::StandardOutput standardOutput(STDOUT_FILENO,
                                            tev::app::logBufferCapacityFromEnvironment());

    const QString folder = QDir::currentPath();
    const QString qpa = QGuiApplication::platformName();
    // Without a display nobody could answer a message box.
    const bool display = qpa != "offscreen" && qpa != "minimal";
    tev::app::FolderLock lock(folder);
    const tev::app::FolderLockDecision folderLock = lock.acquire();
    tev::app::tellFolderLockProblem(folderLock, display);
    if (!folderLock.starts()) return 1;

    // tev3p.ini, read once: each service takes its group from here. What could not be read is
    // told on standard error now and in the event log once the window exists.
    const SettingsFile settings = readSettingsFile(folder.toStdString());
    for (const std::string& p : settings.problems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
    ProgramSeams seams(options, standardOutput);
    if (!seams.takeOptions(options, settings)) return 2;
    Mqtt mqtt;
    if (!loadMqtt(options, settings, mqtt)) return 2;
    Archive archive;
    loadArchive(settings, archive);
    Fleet fleet;
    if (!loadFleet(settings, fleet)) return 2;

    ProgramWindows windows(seams);
    tev::Tsdf& sdf = windows.sdf;
    closeOnStop(app, terminationSignals, sdf);
    tev::app::tellReadOnlyFolder(folderLock, sdf.eventLog(), tev::logStamp(seams.clock().now()),
                                 display ? &sdf : nullptr);

    WindowView recorder(sdf);
    // A name that cannot be shown is left out with a line of its own; the start goes on.
    std::vector<std::string> nameProblems;
    const tev::MeterNames meterNames = loadMeterNames(settings, nameProblems);
    const ServiceContext context{options,       folder.toStdString(),   settings,  recorder,
                                 seams.clock(), seams.meterObservers(), meterNames};
    for (const std::string& p : settings.problems) context.log(p);
    for (const std::string& p : nameProblems) {
        std::fprintf(stderr, "tev3p: %s\n", p.c_str());
        context.log(std::string(tev::kIniFileName) + ": " + p);
    }
    Alerts alerts;
    startAlerts(context, alerts);
    Tray tray;
    startTray(context, alerts, tray);
    startArchive(context, alerts, archive);
    startFleet(context, archive, fleet);
    startMqtt(context, alerts, archive, mqtt);
    Web web;
    startWeb(context, alerts, archive, fleet, tray, web);

    // A meter or dashboard port that another program holds: nothing would be recorded or
    // served, so the start ends, saying which port and, where /proc tells, who holds it.
    std::vector<PortUse> taken;
    for (const quint16 port : sdf.meterServer().takenPorts())
        taken.push_back(
            {port, port == seams.window().sockets.meterPort ? "meters" : "second port"});
    if (web.server && web.server->takenPort() != 0)
        taken.push_back({web.server->takenPort(), "web dashboard"});
    const std::string takenLine = takenPortsLine(taken);
    if (!takenLine.empty()) {
        std::fprintf(stderr, "tev3p: %s\n", takenLine.c_str());
        context.log(takenLine);
        if (display) seams.window().messages->warn("TEV3P", takenLine);
    } else if (options.headless) {
        standardOutput.writeLine(QString("tev3p: headless in %1, meters on port %2, second port %3")
                                     .arg(QDir::toNativeSeparators(folder))
                                     .arg(recorder.sockets().meterPort)
                                     .arg(recorder.sockets().secondPort)
                                     .toLocal8Bit()
                                     .toStdString());
    } else if (!(tray.controller &&
                 tev::alerts::TrayController::startHidden(settings.group("tray")))) {
        // Hidden to the tray when last chosen so in the tray menu.
        sdf.show();
    }
    const int status = takenLine.empty() ? app.exec() : 1;
    // First, so that the alerts it ends are still logged, archived and published.
    stopAlerts(context, alerts);
    sdf.FormClose();
    {
        // The archive first: what it holds is the one thing here that a hang further on
        // (a fleet database that does not answer, say) must not cost.
        const tev::app::StopWatchdog watchdog(kServicesStopLimit);
        stopArchive(context, archive);
        stopWeb(context, web);
        stopMqtt(context, mqtt);
        stopFleet(context, fleet);
        stopTray(context, tray);
    }
    standardOutput.finish(kFinalOutputWaitMs);
    return status;
}
