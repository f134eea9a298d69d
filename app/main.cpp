#include <QApplication>
#include <QWidget>

#include "mainwindow/tsdf.h"
#include "platform/qt/audio_tone_sink.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/thread_pause.h"

int main(int argc, char* argv[]) {
    tev::MeterServer::raiseOpenFileLimit();
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
    QWidget about;
    about.setObjectName("About");
    QWidget about2;
    about2.setObjectName("About2");
    QWidget menu;
    menu.setObjectName("menu");
    QWidget record;
    record.setObjectName("Record");
    sdf.setSecondaryWindows({&about, &about2, &menu, &record});

    sdf.show();
    return app.exec();
}
