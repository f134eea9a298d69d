#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QMessageBox>
#include <QSessionManager>
#include <QWidget>
#include <cstdio>

#include "info/info_windows.h"
#include "mainwindow/tsdf.h"
#include "platform/qt/audio_tone_sink.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/termination_signals.h"
#include "platform/qt/thread_pause.h"
#include "records/trecord.h"

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
    tev::QtClipboard clipboard;
    tev::QtUrlOpener urls;
    tev::Platform platform;
    platform.clock = &clock;
    platform.tones = &tones;
    platform.pause = &pause;
    platform.files = &files;
    platform.messages = &messages;
    platform.clipboard = &clipboard;
    platform.urls = &urls;
    platform.echoLogToStandardOutput = true;

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

    sdf.show();
    const int status = app.exec();
    sdf.FormClose();
    return status;
}
