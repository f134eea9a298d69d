#include "tests/platform/sound/private_pulse_audio.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace tev::testing {
namespace {

constexpr int kStartTimeoutMs = 8000;
const QString kSinkName = QStringLiteral("tevnull");

}  // namespace

void runEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

PrivatePulseAudio::PrivatePulseAudio() : dir_(QDir::tempPath() + "/tev-pulse-XXXXXX") {}

PrivatePulseAudio::~PrivatePulseAudio() {
    if (recorder_) stopRecording();
    kill();
}

QProcess* PrivatePulseAudio::newChild() {
    auto* p = new QProcess;
    // Neither the daemon nor the recorder may outlive a test that crashes.
    p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
        env.insert(QString::fromLatin1(name), dir_.path());
    env.insert("PULSE_SERVER", serverAddress());
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(dir_.path());
    return p;
}

QString PrivatePulseAudio::serverAddress() const {
    return "unix:" + dir_.path() + "/native";
}

std::string PrivatePulseAudio::start() {
    if (!dir_.isValid()) return "cannot make a temporary folder for PulseAudio";
    const QString exe = QStandardPaths::findExecutable("pulseaudio");
    if (exe.isEmpty())
        return "pulseaudio is not installed (Debian packages pulseaudio and pulseaudio-utils)";
    if (QStandardPaths::findExecutable("pactl").isEmpty() ||
        QStandardPaths::findExecutable("parec").isEmpty())
        return "pactl or parec is missing (Debian package pulseaudio-utils)";
    kill();
    daemon_.reset(newChild());
    daemon_->setProcessChannelMode(QProcess::MergedChannels);
    daemon_->setStandardOutputFile(dir_.filePath("daemon.log"), QIODevice::Append);
    daemon_->start(
        exe,
        {"--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no", "-n",
         "--load=module-null-sink sink_name=" + kSinkName + " rate=48000",
         "--load=module-native-protocol-unix auth-anonymous=1 socket=" + dir_.path() + "/native"});
    if (!daemon_->waitForStarted(kStartTimeoutMs))
        return "pulseaudio did not start: " + daemon_->errorString().toStdString();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kStartTimeoutMs) {
        if (daemon_->state() != QProcess::Running) break;
        if (answers()) return {};
        QThread::msleep(50);
    }
    QFile log(dir_.filePath("daemon.log"));
    log.open(QIODevice::ReadOnly);
    const std::string output = log.readAll().toStdString();
    kill();
    return "pulseaudio did not come up with a null sink within " + std::to_string(kStartTimeoutMs) +
           " ms; its output:\n" + output;
}

bool PrivatePulseAudio::answers() {
    std::unique_ptr<QProcess> pactl(newChild());
    pactl->start(QStandardPaths::findExecutable("pactl"), {"list", "short", "sinks"});
    if (!pactl->waitForFinished(3000)) {
        pactl->kill();
        pactl->waitForFinished(1000);
        return false;
    }
    return pactl->exitCode() == 0 && pactl->readAllStandardOutput().contains(kSinkName.toUtf8());
}

int PrivatePulseAudio::playbackStreams() {
    std::unique_ptr<QProcess> pactl(newChild());
    pactl->start(QStandardPaths::findExecutable("pactl"), {"list", "short", "sink-inputs"});
    if (!pactl->waitForFinished(3000) || pactl->exitCode() != 0) return -1;
    return static_cast<int>(pactl->readAllStandardOutput().count('\n'));
}

void PrivatePulseAudio::kill() {
    if (!daemon_) return;
    daemon_->kill();
    daemon_->waitForFinished(3000);
    daemon_.reset();
    QFile::remove(dir_.filePath("native"));
}

std::string PrivatePulseAudio::startRecording() {
    if (!daemon_) return "no PulseAudio to record from";
    const QString file = dir_.filePath("monitor.raw");
    QFile::remove(file);
    recorder_.reset(newChild());
    recorder_->setStandardOutputFile(file);
    recorder_->start(QStandardPaths::findExecutable("parec"),
                     {"--device=" + kSinkName + ".monitor", "--format=s16le", "--channels=1",
                      "--rate=" + QString::number(kRecordRate), "--latency-msec=10"});
    if (!recorder_->waitForStarted(kStartTimeoutMs))
        return "parec did not start: " + recorder_->errorString().toStdString();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kStartTimeoutMs) {
        if (recorder_->state() != QProcess::Running) break;
        if (QFileInfo(file).size() > 0) return {};
        QThread::msleep(10);
    }
    const std::string error = recorder_->readAllStandardError().toStdString();
    stopRecording();
    return "parec recorded nothing from " + kSinkName.toStdString() + ".monitor: " + error;
}

std::vector<std::int16_t> PrivatePulseAudio::stopRecording() {
    if (!recorder_) return {};
    recorder_->terminate();
    if (!recorder_->waitForFinished(3000)) {
        recorder_->kill();
        recorder_->waitForFinished(1000);
    }
    recorder_.reset();
    QFile file(dir_.filePath("monitor.raw"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray raw = file.readAll();
    std::vector<std::int16_t> samples(static_cast<std::size_t>(raw.size()) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto lo = static_cast<std::uint8_t>(raw[static_cast<qsizetype>(2 * i)]);
        const auto hi = static_cast<std::uint8_t>(raw[static_cast<qsizetype>(2 * i + 1)]);
        samples[i] = static_cast<std::int16_t>(lo | (hi << 8));
    }
    return samples;
}

}  // namespace tev::testing
