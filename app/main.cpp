#include <QApplication>
#include <QWidget>

#include "info/info_windows.h"
#include "mainwindow/tsdf.h"
#include "platform/qt/audio_tone_sink.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/thread_pause.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tev::SystemClock clock;
    tev::AudioToneSink tones;
    tev::ThreadPause pause;
    tev::QtFileChooser files;
    tev::QtMessageBoxes messages;
    tev::QtClipboard clipboard;
    tev::QtUrlOpener urls;
    tev::Platform platform{&clock, &tones, &pause};
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
    QWidget record;
    record.setObjectName("Record");
    sdf.setSecondaryWindows({info.About.get(), info.About2.get(), info.menu.get(), &record});

    sdf.show();
    return app.exec();
}
