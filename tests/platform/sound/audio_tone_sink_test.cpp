#include "platform/qt/audio_tone_sink.h"

#include <gtest/gtest.h>

#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <functional>
#include <iostream>
#include <memory>

#include "tests/platform/sound/private_pulse_audio.h"
#include "tests/platform/sound/tone_analysis.h"
#include "tests/support/qt_application.h"

namespace tev::testing {
namespace {

constexpr int kRate = PrivatePulseAudio::kRecordRate;

void expectTone(const HeardTone& heard, double hz, double ms, const std::string& which) {
    EXPECT_NEAR(heard.frequencyHz, hz, 0.02 * hz) << which;
    EXPECT_NEAR(heard.durationMs, ms, 0.10 * ms) << which;
}

std::vector<std::string>* warnings = nullptr;

void keepWarning(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg && warnings != nullptr)
        warnings->push_back(text.toStdString());
}

// Qt looks for a sound server once per program, so this case runs in a program of its own: the
// test below starts this test program again, pointed at a server that does not exist.
TEST(NoSoundServer, DISABLED_TonesAreSilentWithoutAnyWarning) {
    qtApplication();
    QMediaDevices::defaultAudioOutput();  // Qt reports the missing server once, by itself
    std::vector<std::string> seen;
    warnings = &seen;
    const QtMessageHandler previous = qInstallMessageHandler(keepWarning);
    {
        AudioToneSink tones;
        for (int i = 0; i < 5; ++i) tones.beep(1200, 250);
        tones.beep(1400, 1000);
        runEventLoopFor(200);
        tones.beep(1800, 250);
    }
    qInstallMessageHandler(previous);
    warnings = nullptr;
    EXPECT_TRUE(seen.empty()) << seen.front();
}

TEST(NoSoundServer, TonesAreSilentWithoutAnyWarningWhenNoSoundServerRuns) {
    qtApplication();
    QTemporaryDir nowhere;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", "unix:" + nowhere.path() + "/native");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=NoSoundServer.DISABLED_TonesAreSilentWithoutAnyWarning"});
    ASSERT_TRUE(child.waitForFinished(30000)) << "the test program did not finish";
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

// One private server for the whole suite, so that every test of it finds the server Qt
// connected to when it first looked for an audio device.
class RealSoundServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        qtApplication();
        pulse_ = new PrivatePulseAudio;
        startError_ = pulse_->start();
        qputenv("PULSE_SERVER", pulse_->serverAddress().toUtf8());
    }
    static void TearDownTestSuite() {
        delete pulse_;
        pulse_ = nullptr;
    }
    void SetUp() override {
        ASSERT_EQ(startError_, "") << "the private PulseAudio server could not be started";
    }

    // The recording, and its figures printed where a reader of the test log sees them.
    std::vector<HeardTone> record(const std::function<void()>& play, int playMs) {
        const std::string why = pulse_->startRecording();
        EXPECT_EQ(why, "") << "the null sink's monitor could not be recorded";
        if (!why.empty()) return {};
        play();
        runEventLoopFor(playMs);
        const std::vector<HeardTone> heard = tonesIn(pulse_->stopRecording(), kRate);
        std::cout << "heard: " << describe(heard) << std::endl;
        RecordProperty("heard", describe(heard));
        return heard;
    }

    static inline PrivatePulseAudio* pulse_ = nullptr;
    static inline std::string startError_;
};

TEST(ToneAnalysis, FindsEachToneItsPitchAndLengthAndSplitsTonesPlayedBackToBack) {
    std::vector<std::int16_t> samples(kRate / 10, 0);  // 100 ms of silence
    const auto append = [&](int hz, int ms) {
        const QByteArray pcm = AudioToneSink::sineSamples(hz, ms, kRate);
        const auto* s = reinterpret_cast<const std::int16_t*>(pcm.constData());
        samples.insert(samples.end(), s, s + pcm.size() / 2);
    };
    append(1200, 250);
    samples.resize(samples.size() + kRate * 3 / 4, 0);
    append(1200, 250);
    append(1400, 1000);
    samples.resize(samples.size() + kRate / 10, 0);

    const std::vector<HeardTone> heard = tonesIn(samples, kRate);
    ASSERT_EQ(heard.size(), 3u) << describe(heard);
    EXPECT_NEAR(heard[0].startMs, 100, 1);
    EXPECT_NEAR(heard[0].frequencyHz, 1200, 1);
    EXPECT_NEAR(heard[0].durationMs, 250, 1);
    EXPECT_NEAR(heard[1].startMs, 1100, 1);
    EXPECT_NEAR(heard[1].frequencyHz, 1200, 1);
    EXPECT_NEAR(heard[1].durationMs, 250, 1.5);
    EXPECT_NEAR(heard[2].startMs, 1350, 1.5);
    EXPECT_NEAR(heard[2].frequencyHz, 1400, 1);
    EXPECT_NEAR(heard[2].durationMs, 1000, 1.5);
}

TEST_F(RealSoundServer, OfflineAlarmIsHeardAsFiveWarningTonesThenTheLongAlarmTone) {
    AudioToneSink tones;
    // The one-second tick beeps the warnings; the fifth tick raises the alarm, which queues
    // its long tone right behind that tick's warning.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    int ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        tones.beep(1200, 250);
        if (++ticks < 5) return;
        tones.beep(1400, 1000);
        tick.stop();
    });
    const std::vector<HeardTone> heard = record([&] { tick.start(1000); }, 5000 + 1250 + 400);

    ASSERT_EQ(heard.size(), 6u) << describe(heard);
    for (int i = 0; i < 5; ++i) {
        expectTone(heard[i], 1200, 250, "warning tone " + std::to_string(i + 1));
        if (i > 0) {
            EXPECT_NEAR(heard[i].startMs - heard[i - 1].startMs, 1000, 100)
                << "warning tones " << i << " and " << i + 1 << " are a tick apart";
        }
    }
    expectTone(heard[5], 1400, 1000, "alarm tone");
    const double gap = heard[5].startMs - (heard[4].startMs + heard[4].durationMs);
    EXPECT_LT(gap, 5.0) << "the alarm tone follows the last warning tone without a pause";
}

TEST_F(RealSoundServer, ToneRequestedAloneIsHeardInFullThenItsStreamIsClosed) {
    AudioToneSink tones;
    const std::vector<HeardTone> heard = record([&] { tones.beep(1800, 250); }, 700);
    ASSERT_EQ(heard.size(), 1u) << describe(heard);
    expectTone(heard[0], 1800, 250, "registration tone");
    // Once the tone has been heard and the output has been quiet a while, its stream is closed.
    EXPECT_EQ(pulse_->playbackStreams(), 1);
    runEventLoopFor(2000);
    EXPECT_EQ(pulse_->playbackStreams(), 0);
}

TEST_F(RealSoundServer, LongTonePlaysOnUnbrokenWhileTheWindowIsBusy) {
    AudioToneSink tones;
    const std::vector<HeardTone> heard = record(
        [&] {
            tones.beep(1400, 1000);
            // A long repaint or file save holds up the event loop in the middle of the tone.
            QTimer::singleShot(300, [] { QThread::msleep(400); });
        },
        1400);
    ASSERT_EQ(heard.size(), 1u) << describe(heard);
    expectTone(heard[0], 1400, 1000, "alarm tone");
}

TEST_F(RealSoundServer, TonesPlayAgainOnceTheSoundServerComesBackAfterGoingAway) {
    AudioToneSink tones;
    EXPECT_EQ(record([&] { tones.beep(1800, 250); }, 500).size(), 1u);

    pulse_->kill();
    runEventLoopFor(200);
    tones.beep(1200, 250);  // nowhere to play: silent, and no harm done
    runEventLoopFor(200);
    ASSERT_EQ(pulse_->start(), "") << "the private PulseAudio server could not be restarted";
    // Qt reconnects to the sound server a few seconds after losing it.
    runEventLoopFor(4000);

    const std::vector<HeardTone> heard = record([&] { tones.beep(1800, 250); }, 700);
    ASSERT_EQ(heard.size(), 1u) << describe(heard);
    expectTone(heard[0], 1800, 250, "tone after the server came back");
}

}  // namespace
}  // namespace tev::testing
