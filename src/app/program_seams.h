#pragma once

#include <memory>
#include <string>

#include "app/headless_dialogs.h"
#include "app/options.h"
#include "app/settings_file.h"
#include "app/standard_output.h"
#include "core/meterlink/meter_observer.h"
#include "platform/qt/audio_tone_sink.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/thread_pause.h"
#include "platform/silent_tone_sink.h"
#include "window/mainwindow/tsdf.h"

namespace tev::app {

// The real seams the main window talks to: the system clock, the tones, the dialogs, the
// clipboard, the browser, standard output, and the one list through which every service beside
// the window hears of the meter messages.
class ProgramSeams {
  public:
    ProgramSeams(const ProgramOptions& options, StandardOutput& standardOutput);
    ProgramSeams(const ProgramSeams&) = delete;
    ProgramSeams& operator=(const ProgramSeams&) = delete;

    // The meter sockets and the allowed meters of the options and tev3p.ini; false, with the
    // problems told on standard error, when one is broken.
    bool takeOptions(const ProgramOptions& options, const SettingsFile& settings);

    // The file choosers and message boxes are placed over the main window once it exists.
    void placeDialogsOver(Tsdf& window);

    WindowSeams& window() { return seams_; }
    MeterObserverList& meterObservers() { return meterObservers_; }
    const Clock& clock() const { return clock_; }
    ToneSink& tones() { return *seams_.tones; }

  private:
    SystemClock clock_;
    // Headless, the tones go nowhere: the sound output is never opened, so no sound server is
    // contacted and none complains in the journal.
    SilentToneSink silentTones_;
    std::unique_ptr<AudioToneSink> audioTones_;
    ThreadPause pause_;
    QtFileChooser files_;
    QtMessageBoxes messages_;
    HeadlessMessageBoxes headlessMessages_;
    QtClipboard clipboard_;
    QtUrlOpener urls_;
    MeterObserverList meterObservers_;
    WindowSeams seams_;
};

}  // namespace tev::app
