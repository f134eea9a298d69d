#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QPalette>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>

#include "tests/support/fake_clock.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/qt_application.h"
#include "tests/support/recording_tone_sink.h"
#include "window/mainwindow/tsdf.h"

namespace tev::testing {

// A main window on fake platform seams.
class TsdfTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtApplication();
        sdf = std::make_unique<Tsdf>(seams(&tones));
        // The start-up's own tones and repaints (two scale-label clicks) are tested on their own.
        tones.tones.clear();
        sdf->resetRepaintCounts();
    }

    // The fakes, with the meter sockets on free loopback ports and day files in a fresh folder.
    WindowSeams seams(ToneSink* toneSink) {
        WindowSeams p{&clock, toneSink, &pause};
        p.files = &files;
        p.messages = &messages;
        p.clipboard = &clipboard;
        p.urls = &urls;
        p.sockets = MeterServerSettings{QHostAddress::LocalHost, 0, 0};
        p.workingDirectory = workDir.path().toStdString();
        return p;
    }

    template <typename W>
    W* control(const char* name) const {
        return sdf->findChild<W*>(name);
    }

    QTemporaryDir workDir;
    FakeClock clock{DateTime{2024, 8, 2, 8, 5, 0, 0}};
    RecordingToneSink tones;
    RecordingPause pause;
    FakeFileChooser files;
    FakeMessageBoxes messages;
    FakeClipboard clipboard;
    FakeUrlOpener urls;
    std::unique_ptr<Tsdf> sdf;
};

inline QColor textColour(const QWidget* w) {
    return w->palette().color(QPalette::WindowText);
}

}  // namespace tev::testing
