#include <QApplication>

#include "mainwindow/tsdf.h"
#include "platform/qt/audio_tone_sink.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/thread_pause.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tev::SystemClock clock;
    tev::AudioToneSink tones;
    tev::ThreadPause pause;
    tev::Platform platform{&clock, &tones, &pause};
    platform.echoLogToStandardOutput = true;
    tev::Tsdf sdf(platform);
    sdf.show();
    return app.exec();
}
