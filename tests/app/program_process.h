#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace tev::testing {

inline constexpr int kProcessWaitMs = 15000;

// build/tev3p --headless in a folder of its own, on 127.0.0.1 and free ports.
struct HeadlessProgram {
    QProcess process;
    QString output;
    int meterPort = 0;

    bool start(const QString& folder, const QStringList& extra = {}) {
        process.setWorkingDirectory(folder);
        process.start(TEV3P_PATH, QStringList{"--headless", "--port", "0", "--second-port", "0",
                                              "--listen", "127.0.0.1"} +
                                      extra);
        if (!process.waitForStarted(kProcessWaitMs)) return false;
        const QRegularExpression portLine("meters on port (\\d+)");
        return waitForOutput([&] {
            const auto m = portLine.match(output);
            if (m.hasMatch()) meterPort = m.captured(1).toInt();
            return m.hasMatch();
        });
    }

    template <typename Done>
    bool waitForOutput(Done done, int timeoutMs = kProcessWaitMs) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > timeoutMs || process.state() == QProcess::NotRunning) return false;
            process.waitForReadyRead(100);
            output += QString::fromUtf8(process.readAllStandardOutput());
        }
        return true;
    }
    bool waitForText(const QString& text, int timeoutMs = kProcessWaitMs) {
        return waitForOutput([&] { return output.contains(text); }, timeoutMs);
    }

    void signal(int sig) { ::kill(static_cast<pid_t>(process.processId()), sig); }

    bool finish() {
        const bool done = process.waitForFinished(kProcessWaitMs);
        output += QString::fromUtf8(process.readAllStandardOutput());
        return done;
    }

    ~HeadlessProgram() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(kProcessWaitMs);
        }
    }
};

// Runs hoq-sim against a port until it has sent `count` data messages and ended.
inline int runSimulator(int port, int count, const QStringList& extra = {}) {
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(HOQ_SIM_PATH, QStringList{"--port", QString::number(port), "--count",
                                        QString::number(count), "--interval", "50"} +
                                extra);
    if (!sim.waitForFinished(kProcessWaitMs)) {
        sim.kill();
        sim.waitForFinished();
        return -1;
    }
    return sim.exitStatus() == QProcess::NormalExit ? sim.exitCode() : -1;
}

}  // namespace tev::testing
