#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tev::testing {

// Runs the Qt event loop for the given time, as the window does between its ticks.
void runEventLoopFor(int ms);

// A PulseAudio server of this test alone: one null sink "tevnull", reached through a socket in a
// temporary folder, so that what the program plays can be recorded from the sink's monitor.
// Both the daemon and the recorder die with the test process, and the folder goes with this
// object, whether the test passes or fails.
class PrivatePulseAudio {
  public:
    static constexpr int kRecordRate = 48000;

    PrivatePulseAudio();
    ~PrivatePulseAudio();
    PrivatePulseAudio(const PrivatePulseAudio&) = delete;
    PrivatePulseAudio& operator=(const PrivatePulseAudio&) = delete;

    // Starts the daemon and waits until it answers. Returns why it could not, or "" when it runs.
    std::string start();
    // Ends the daemon at once, as a sound server that goes away under a running program.
    void kill();
    // "unix:/tmp/.../native", the value for PULSE_SERVER.
    QString serverAddress() const;

    // How many programs' playback streams the server holds open, or -1 when it cannot tell.
    int playbackStreams();

    // Records the null sink's monitor as 16-bit mono samples at kRecordRate. Returns why the
    // recording could not start, or "" once samples flow.
    std::string startRecording();
    std::vector<std::int16_t> stopRecording();

  private:
    bool answers();
    QProcess* newChild();

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> daemon_;
    std::unique_ptr<QProcess> recorder_;
};

}  // namespace tev::testing
