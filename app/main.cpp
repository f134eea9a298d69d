#include <QApplication>
#include <QLayout>

#include "mainwindow/tsdf.h"
#include "platform/qt/audio_tone_sink.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/thread_pause.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tev::SystemClock clock;
    tev::AudioToneSink tones;
    tev::ThreadPause pause;
    tev::Tsdf sdf(tev::Platform{&clock, &tones, &pause});
    sdf.show();
    return app.exec();
}
