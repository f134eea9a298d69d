// The real program under a standard output that goes away, stalls or is missing, and under a
// stop signal that comes at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <climits>
#include <memory>
#include <vector>

#include "core/persistence/records_image.h"
#include "core/persistence/settings_file.h"
#include "tests/app/lost_lines_note.h"
#include "tests/app/program_process.h"
#include "tests/support/qt_application.h"

namespace tev::app {
namespace {

// A stop must be answered within this, the close handler's two one-second waits included.
constexpr int kStopAnswerMs = 3000;
// An ADC report near the longest message the meter port takes; each is echoed whole.
constexpr std::size_t kAdcReportBytes = 4000;

int freeLoopbackPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// The program started with its standard output on `stdoutFd` (-1: closed) and, with
// `closeStdin`, without standard input; the meter port is given, as its port line may never
// be read.
class OutputProgram {
  public:
    OutputProgram() { testing::qtApplication(); }
    ~OutputProgram() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(testing::kProcessWaitMs);
        }
    }

    bool start(int stdoutFd, bool closeStdin = false, int logBufferBytes = 0) {
        if (!folder.isValid() || (port = freeLoopbackPort()) == 0) return false;
        process.setWorkingDirectory(folder.path());
        if (logBufferBytes > 0) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("TEV3P_LOG_BUFFER_BYTES", QString::number(logBufferBytes));
            process.setProcessEnvironment(environment);
        }
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setChildProcessModifier([stdoutFd, closeStdin] {
            if (stdoutFd >= 0)
                ::dup2(stdoutFd, STDOUT_FILENO);
            else
                ::close(STDOUT_FILENO);
            if (closeStdin) ::close(STDIN_FILENO);
        });
        process.start(TEV3P_PATH, {"--headless", "--port", QString::number(port), "--second-port",
                                   "0", "--listen", "127.0.0.1"});
        return process.waitForStarted(testing::kProcessWaitMs);
    }

    // Connects until the meter port answers.
    bool waitUntilListening() {
        for (int i = 0; i < 150; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
            if (probe.waitForConnected(100)) return true;
            if (process.state() == QProcess::NotRunning) return false;
            QThread::msleep(100);
        }
        return false;
    }

    // Connections that each send `perConnection` long ADC reports, all echoed to the log: far
    // more than a pipe holds.
    void floodWithAdcReports(int connections, int perConnection) {
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int c = 0; c < connections; ++c) {
            auto s = std::make_unique<QTcpSocket>();
            s->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
            if (!s->waitForConnected(testing::kProcessWaitMs)) continue;
            std::string report = "HQ2 SYS ADC FLOOD" + std::to_string(1000000 + c) + " 1_2_3_";
            report += std::string(kAdcReportBytes - report.size() - 3, 'x') + "_\r\n";
            for (int m = 0; m < perConnection; ++m) s->write(report.data(), report.size());
            sockets.push_back(std::move(s));
        }
        for (auto& s : sockets)
            while (s->bytesToWrite() > 0 && s->waitForBytesWritten(testing::kProcessWaitMs)) {
            }
    }

    // Sends SIGTERM; true when the program ended within `ms` with status 0.
    // True once the program holds the stop signals back: from then on a stop is its own to
    // handle. Before it, in the first instants of exec and the dynamic loader, the signal's
    // default action ends any process, and no program can do anything about that.
    bool holdsStopSignalsBack() const {
        QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
        if (!status.open(QIODevice::ReadOnly)) return false;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (!line.startsWith("SigBlk:")) continue;
            bool ok = false;
            const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
            return ok && (mask & (1ull << (SIGTERM - 1))) != 0;
        }
        return false;
    }

    bool stopWithin(int ms) {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        const bool ended = process.waitForFinished(ms);
        return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    bool savedBothFiles() const {
        return QFileInfo(folder.filePath("TEV3P_Records.dat")).size() ==
                   static_cast<qint64>(kRecordsFileSize) &&
               QFileInfo(folder.filePath("TEV3P_Environ.dat")).size() ==
                   static_cast<qint64>(kSettingsFileSize) &&
               !QFileInfo::exists(folder.filePath(".tev3p.lock"));
    }

    // The simulated meter's readings reached the minute table of the saved records.
    bool recordedTheMeter() const {
        MeasurementStore store;
        if (!readRecordsFile(folder.filePath("TEV3P_Records.dat").toStdString(), store).ok)
            return false;
        const ScaleTable& minutes = store.table(TimeScale::Min);
        return minutes.date(minutes.cnt) > 0 && minutes.value(kColV1, minutes.cnt) > 200.0f;
    }

    std::string descriptorTarget(int fd) const {
        char target[PATH_MAX] = {};
        const std::string link =
            "/proc/" + std::to_string(process.processId()) + "/fd/" + std::to_string(fd);
        return ::readlink(link.c_str(), target, sizeof target - 1) > 0 ? target : "";
    }

    QTemporaryDir folder;
    QProcess process;
    int port = 0;
};

struct Pipe {
    int read = -1, write = -1;
    Pipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) read = ends[0], write = ends[1];
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    void closeRead() {
        if (read >= 0) ::close(read);
        read = -1;
    }
    void closeWrite() {
        if (write >= 0) ::close(write);
        write = -1;
    }
    // Reads until `text` has come or the time is up.
    std::string readUntil(const std::string& text, int ms = testing::kProcessWaitMs) {
        ::fcntl(read, F_SETFL, ::fcntl(read, F_GETFL) | O_NONBLOCK);
        std::string got;
        char chunk[65536];
        QElapsedTimer t;
        t.start();
        while (got.find(text) == std::string::npos && t.elapsed() < ms) {
            const ssize_t n = ::read(read, chunk, sizeof chunk);
            if (n > 0)
                got.append(chunk, static_cast<std::size_t>(n));
            else
                QThread::msleep(5);
        }
        return got;
    }
};

TEST(ProgramOutput, ReaderThatGoesAwayLeavesTheProgramRecordingAndAStopSavesBothFiles) {
    OutputProgram program;
    Pipe pipe;
    ASSERT_TRUE(program.start(pipe.write));
    pipe.closeWrite();
    EXPECT_NE(pipe.readUntil("TEV3P Startup").find("TEV3P Startup"), std::string::npos);
    pipe.closeRead();  // `tev3p | head -c 100`: the reader has what it wanted
    ASSERT_TRUE(program.waitUntilListening());
    // The meter's registration and the connection lines are written to the gone reader.
    EXPECT_EQ(testing::runSimulator(program.port, 30), 0);
    EXPECT_EQ(program.process.state(), QProcess::Running);
    EXPECT_TRUE(program.stopWithin(testing::kProcessWaitMs));
    EXPECT_TRUE(program.savedBothFiles());
    EXPECT_TRUE(program.recordedTheMeter());
}

TEST(ProgramOutput, StalledReaderLeavesMetersHandledAndAStopAnsweredWithBothFilesSaved) {
    OutputProgram program;
    Pipe pipe;  // read by nobody
    ASSERT_TRUE(program.start(pipe.write));
    pipe.closeWrite();
    ASSERT_TRUE(program.waitUntilListening());
    program.floodWithAdcReports(2, 50);
    EXPECT_EQ(testing::runSimulator(program.port, 30), 0);
    EXPECT_TRUE(program.stopWithin(kStopAnswerMs));
    EXPECT_TRUE(program.savedBothFiles());
    EXPECT_TRUE(program.recordedTheMeter());
}

TEST(ProgramOutput, LinesLostToAStalledReaderAreCountedOnceItReadsAgain) {
    OutputProgram program;
    Pipe pipe;
    // A 64 KB buffer: the meter port's log budget lets about 1 MB a minute through, which a
    // default 1 MB buffer would just hold.
    ASSERT_TRUE(program.start(pipe.write, false, 64 * 1024));
    pipe.closeWrite();
    ASSERT_TRUE(program.waitUntilListening());
    const std::string note = " log lines not written to standard output\n";
    std::string got;
    // Well over the pipe and the 64 KB the program keeps for its reader. On a busy machine
    // the log's flood budget may let fewer lines through than one round needs to overflow, so
    // the flood goes on, with the reader away, until lines were lost and counted.
    constexpr int kRounds = 6;
    constexpr int kRoundReadMs = 5000;
    for (int round = 0; round < kRounds && !testing::findLostLinesNote(got).found(); ++round) {
        program.floodWithAdcReports(20, 60);
        // A meter's thirty messages: the flood sent before them has been handled by their end.
        EXPECT_EQ(testing::runSimulator(program.port, 30), 0);
        got += pipe.readUntil(note, round + 1 < kRounds ? kRoundReadMs : testing::kProcessWaitMs);
    }
    const testing::LostLinesNote counted = testing::findLostLinesNote(got);
    ASSERT_TRUE(counted.found()) << got.size() << " bytes read";
    EXPECT_GT(counted.count, 0);
    // The output goes on after the note: the stop's save lines follow it.
    ::kill(static_cast<pid_t>(program.process.processId()), SIGTERM);
    got += pipe.readUntil("Save HOQ TEV3P records");
    EXPECT_GT(got.find("Save HOQ TEV3P records"), got.find(note));
    EXPECT_TRUE(program.process.waitForFinished(testing::kProcessWaitMs));
    EXPECT_EQ(program.process.exitCode(), 0);
}

TEST(ProgramOutput, ClosedStandardInputAndOutputAreDevNullAndNotTheEventLoopsDescriptors) {
    OutputProgram program;
    ASSERT_TRUE(program.start(-1, true));
    ASSERT_TRUE(program.waitUntilListening());
    EXPECT_EQ(program.descriptorTarget(0), "/dev/null");
    EXPECT_EQ(program.descriptorTarget(1), "/dev/null");
    EXPECT_EQ(testing::runSimulator(program.port, 30), 0);
    EXPECT_TRUE(program.stopWithin(testing::kProcessWaitMs));
    EXPECT_TRUE(program.savedBothFiles());
    EXPECT_TRUE(program.recordedTheMeter());
}

TEST(ProgramOutput, StopInTheFirstMillisecondsEndsTheProgramCleanlyWithBothFilesSaved) {
    for (int delayMs : {1, 5, 10}) {
        OutputProgram program;
        ASSERT_TRUE(program.start(-1));
        ASSERT_TRUE(QTest::qWaitFor([&] { return program.holdsStopSignalsBack(); },
                                    testing::kProcessWaitMs));
        QThread::msleep(static_cast<unsigned long>(delayMs));
        EXPECT_TRUE(program.stopWithin(testing::kProcessWaitMs))
            << "stopped after " << delayMs << " ms: status " << program.process.exitCode();
        EXPECT_TRUE(program.savedBothFiles()) << delayMs << " ms";
    }
}

}  // namespace
}  // namespace tev::app
