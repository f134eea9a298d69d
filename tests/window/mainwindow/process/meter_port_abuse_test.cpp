// The meter port as an attacker or a neglectful network treats it, on 127.0.0.1 only. Every
// flood is bounded in count and time.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/meterlink/meter_link.h"
#include "meterport/meter_server.h"
#include "tests/support/fake_clock.h"
#include "tests/support/qt_application.h"
#include "tests/support/recording_tone_sink.h"
#include "tools/hoq-sim/meter_messages.h"
#include "window/mainwindow/event_log_memo.h"

namespace tev {
namespace {

constexpr int kWaitMs = 15000;

std::string withCrLf(std::string m) {
    return m + std::string(sim::kCrLf);
}

std::string deviceMessage(const std::string& id) {
    sim::DeviceInfo info;
    info.id = id;
    return withCrLf(sim::buildDeviceMessage(info));
}

std::string dataMessage(const std::string& id, int date, int secs, int sequence = 0) {
    sim::DataWords words;
    for (int w = 0; w < 3; ++w) words.decimals[w] = 230.0;
    words.decimals[9] = 5.5;
    words.integers = {0, 0, sequence, 0};
    return withCrLf(sim::buildDataMessage(id, "127.0.0.1", date, secs, words));
}

// Opens `count` connections at once; returns when each has connected or given up, or after
// two seconds (a full listen queue makes the rest retry for longer).
std::vector<std::unique_ptr<QTcpSocket>> openConnections(quint16 port, int count) {
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < count; ++i) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        sockets.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    (void)QTest::qWaitFor(
        [&] {
            for (const auto& s : sockets)
                if (s->state() == QAbstractSocket::ConnectingState ||
                    s->state() == QAbstractSocket::HostLookupState)
                    return false;
            return true;
        },
        2000);
    return sockets;
}

// The meter port in a child process whose open-file limit is lowered.
class FloodHelper {
  public:
    FloodHelper(int limit, int derivedFrom) {
        process_.start(FLOOD_HELPER_PATH, {QString::number(limit), QString::number(derivedFrom)});
        EXPECT_TRUE(process_.waitForStarted(kWaitMs));
        EXPECT_TRUE(waitForOutput("port "));
        const auto match = QRegularExpression("port (\\d+)").match(output_);
        port = static_cast<quint16>(match.captured(1).toUInt());
    }
    ~FloodHelper() {
        process_.write("quit\n");
        if (!process_.waitForFinished(kWaitMs)) process_.kill();
    }
    bool waitForOutput(const QString& text) {
        return QTest::qWaitFor(
            [&] {
                take();
                return output_.contains(text);
            },
            kWaitMs);
    }
    // One value of a fresh "stats" line.
    int stat(const QString& name) {
        output_.clear();
        process_.write("stats\n");
        if (!waitForOutput("\n") || !waitForOutput("stats ")) return -1;
        (void)QTest::qWaitFor([&] {
            take();
            return QRegularExpression("registered=\\d+\\n").match(output_).hasMatch();
        });
        const auto match = QRegularExpression(name + "=(\\d+)").match(output_);
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }
    // Everything the helper has written so far.
    const QString& everything() {
        take();
        return everything_;
    }
    quint16 port = 0;

  private:
    void take() {
        const QString text = QString::fromUtf8(process_.readAllStandardOutput());
        output_ += text;
        everything_ += text;
    }
    QProcess process_;
    QString output_;
    QString everything_;
};

// Floods the helper with `count` connections, holds them, closes them, then a meter must
// register and the helper must be back to the meter's one connection.
void floodThenRegister(FloodHelper& helper, int count) {
    ASSERT_NE(helper.port, 0);
    const int fdsBefore = helper.stat("fds");
    {
        auto flood = openConnections(helper.port, count);
        QTest::qWait(300);
        for (auto& s : flood) s->abort();
    }
    QTcpSocket meter;
    meter.connectToHost(QHostAddress::LocalHost, helper.port);
    ASSERT_TRUE(meter.waitForConnected(kWaitMs));
    const std::string hello = dataMessage("FLOOD0000001", 240802, 43200);
    meter.write(hello.data(), static_cast<qint64>(hello.size()));
    EXPECT_TRUE(helper.waitForOutput("HOQ Connect")) << helper.everything().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return helper.stat("meters") == 1; }, kWaitMs));
    EXPECT_EQ(helper.stat("registered"), 1);
    // Every flood connection is closed on the server side too.
    EXPECT_LE(helper.stat("fds"), fdsBefore + 1);
}

TEST(MeterPortAbuse, ConnectionFloodAtALowDescriptorLimitLeavesThePortAcceptingForAMeter) {
    testing::qtApplication();
    FloodHelper helper(256, 0);
    floodThenRegister(helper, 600);
    EXPECT_GT(helper.stat("evicted"), 0);
    EXPECT_EQ(helper.stat("pauses"), 0);
}

TEST(MeterPortAbuse, RunningOutOfDescriptorsPausesAcceptingBrieflyInsteadOfForGood) {
    testing::qtApplication();
    // Caps as if 4096 descriptors were there, so that accepting itself runs out at 256.
    FloodHelper helper(256, 4096);
    floodThenRegister(helper, 600);
    const int pauses = helper.stat("pauses");
    EXPECT_GT(pauses, 0);
    // A back-off of 250 ms: a handful of pauses, not a busy loop.
    EXPECT_LT(pauses, 200);
    // A shortage is logged once, however many pauses it takes.
    const auto reports = helper.everything().count("accepting paused");
    EXPECT_GE(reports, 1);
    EXPECT_LT(reports, pauses + 1);
    EXPECT_LE(reports, 3);
}

// A MeterServer and MeterLink in this process, on 127.0.0.1.
struct AbuseFixture : ::testing::Test {
    QTemporaryDir dayFileDir;
    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
    testing::FakeClock clock{DateTime{2024, 8, 2, 12, 0, 0, 0}};
    EventLog log{clock};
    testing::RecordingToneSink tones;
    LanguageMode language = LanguageMode::English;
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<MeterServer> server;
    std::uint64_t messages = 0;

    void SetUp() override { testing::qtApplication(); }
    void make(int maxConnections) {
        link = std::make_unique<MeterLink>(*store, log, tones, clock, language,
                                           dayFileDir.path().toStdString());
        MeterServerSettings s;
        s.address = QHostAddress::LocalHost;
        s.meterPort = 0;
        s.secondPort = 0;
        s.maxConnections = maxConnections;
        server = std::make_unique<MeterServer>(s, clock);
        server->setMessageHandler([this](std::string_view m) {
            ++messages;
            return link->handleMessage(m);
        });
        server->setRegisteredCheck([this] { return link->lastMessageFromRegisteredMeter(); });
        server->start();
        ASSERT_NE(server->meterPort(), 0);
    }
    void TearDown() override { server.reset(); }
    void send(QTcpSocket& s, const std::string& bytes) {
        s.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
};

TEST_F(AbuseFixture, IdleConnectionsFillingThePortAreEvictedSoAMeterRegisters) {
    make(50);
    auto idle = openConnections(server->meterPort(), 80);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->meterConnectionCount() == 50; }, kWaitMs));
    QTcpSocket meter;
    meter.connectToHost(QHostAddress::LocalHost, server->meterPort());
    ASSERT_TRUE(meter.waitForConnected(kWaitMs));
    send(meter, deviceMessage("IDLE00000001") + dataMessage("IDLE00000001", 240802, 43200));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->registry.MeterCount == 1; }, kWaitMs));
    EXPECT_EQ(store->registry.rows[0].Id.view(), "IDLE00000001");
    EXPECT_EQ(server->meterConnectionCount(), 50);
    EXPECT_GE(server->evictedConnections(), 31u);
    EXPECT_EQ(meter.state(), QAbstractSocket::ConnectedState);
}

TEST_F(AbuseFixture, LogFloodFromOneConnectionLeavesTheLogAndMemoBounded) {
    make(16);
    EventLogMemo memo(log);
    std::string report =
        sim::buildAdcReport("ADCFLOOD0001", sim::AdcFields{1, 2, 3, "a", "b", "c"});
    report.insert(report.size() - 1, std::string(4000 - report.size(), 'x'));
    report = withCrLf(report);
    constexpr int kReports = 3000;  // 12 MB
    std::string stream;
    for (int i = 0; i < kReports; ++i) stream += report;
    QTcpSocket flooder;
    flooder.connectToHost(QHostAddress::LocalHost, server->meterPort());
    ASSERT_TRUE(flooder.waitForConnected(kWaitMs));
    send(flooder, stream);
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages >= kReports; }, kWaitMs));
    EXPECT_EQ(messages, static_cast<std::uint64_t>(kReports));
    // Two lines per report; all but the first window's lines are suppressed.
    EXPECT_EQ(log.suppressedLines(), 2u * kReports - EventLog::kSourceLinesPerWindow);
    EXPECT_LE(log.bytes(), EventLog::kDefaultMaxBytes);
    EXPECT_LE(log.lines().size(), 1 + EventLog::kSourceLinesPerWindow);
    EXPECT_LE(memo.shownChars(), EventLogMemo::kMaxChars);
    for (const std::string& line : log.lines()) EXPECT_LE(line.size(), 4100u);
}

TEST_F(AbuseFixture, ForgedMidnightTimesOverTheNetworkWriteOneDayFileLine) {
    make(16);
    QTcpSocket forger;
    forger.connectToHost(QHostAddress::LocalHost, server->meterPort());
    ASSERT_TRUE(forger.waitForConnected(kWaitMs));
    std::string stream;
    constexpr int kPairs = 1000;
    for (int i = 0; i < kPairs; ++i)
        stream += dataMessage("FORGE0000001", 240802, 23 * 3600 + 58 * 60, 2 * i) +
                  dataMessage("FORGE0000001", 240802, 60, 2 * i + 1);
    send(forger, stream);
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages >= 2 * kPairs; }, kWaitMs));
    std::ifstream in(dayFileDir.filePath("M10_FORGE0000001.txt").toStdString(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), 1);
    EXPECT_EQ(store->registry.rows[0].DayFileCount, 1);
}

TEST_F(AbuseFixture, BusyStrangersFillingThePortNeverCutTheRegisteredMeter) {
    make(40);
    QTcpSocket meter;
    meter.connectToHost(QHostAddress::LocalHost, server->meterPort());
    ASSERT_TRUE(meter.waitForConnected(kWaitMs));
    send(meter, deviceMessage("REAL00000001") + dataMessage("REAL00000001", 240802, 43200));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->registry.MeterCount == 1; }, kWaitMs));
    // Strangers come in waves; each one sends a byte again and again, so the meter, which
    // speaks every few seconds, is the one idle longest.
    std::vector<std::unique_ptr<QTcpSocket>> strangers;
    for (int wave = 0; wave < 3; ++wave) {
        for (auto& s : openConnections(server->meterPort(), 30)) strangers.push_back(std::move(s));
        for (int round = 0; round < 3; ++round) {
            for (auto& s : strangers)
                if (s->state() == QAbstractSocket::ConnectedState) s->write("x");
            QTest::qWait(30);
        }
    }
    EXPECT_GE(server->evictedConnections(), 50u);
    EXPECT_EQ(meter.state(), QAbstractSocket::ConnectedState);
    const std::uint64_t before = messages;
    send(meter, dataMessage("REAL00000001", 240802, 43260, 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->registry.rows[0].Secs == 43260; }, kWaitMs));
    EXPECT_GT(messages, before);
}

TEST_F(AbuseFixture, AdcReportsFromManyConnectionsShareOnePortBudgetInTheLog) {
    make(300);
    std::size_t written = 0;
    log.addListener([&](const std::string& line) { written += line.size() + 1; });
    std::string report =
        sim::buildAdcReport("ADCFLOOD0001", sim::AdcFields{1, 2, 3, "a", "b", "c"});
    report.insert(report.size() - 1, std::string(4000 - report.size(), 'x'));
    report = withCrLf(report);
    constexpr int kConnections = 200;
    constexpr int kReportsEach = 10;  // 8 MB in all, 4000 lines
    std::string stream;
    for (int i = 0; i < kReportsEach; ++i) stream += report;
    auto flooders = openConnections(server->meterPort(), kConnections);
    for (auto& f : flooders) send(*f, stream);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return messages >= std::uint64_t{kConnections} * kReportsEach; }, kWaitMs));
    // The whole flood happened inside one minute of the port's budget.
    EXPECT_LE(written, EventLog::kPortBytesPerWindow + 4096);
    EXPECT_EQ(log.suppressedLines() + (log.lines().size() - 1), 2u * kConnections * kReportsEach);
    // A meter that registers now is still told.
    QTcpSocket meter;
    meter.connectToHost(QHostAddress::LocalHost, server->meterPort());
    ASSERT_TRUE(meter.waitForConnected(kWaitMs));
    send(meter, dataMessage("REAL00000001", 240802, 43200));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->registry.MeterCount == 1; }, kWaitMs));
    EXPECT_NE(log.lines().back().find("HOQ Connect 127.0.0.1  ID: REAL00000001"),
              std::string::npos);
}

}  // namespace
}  // namespace tev
