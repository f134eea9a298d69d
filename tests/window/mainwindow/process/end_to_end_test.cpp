#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

#include "core/meterlink/meter_link.h"
#include "meterport/meter_server.h"
#include "tests/support/fake_clock.h"
#include "tests/support/qt_application.h"
#include "tests/support/recording_tone_sink.h"
#include "tools/hoq-sim/meter_messages.h"

namespace tev {
namespace {

constexpr int kWaitMs = 10000;

// The real meter port on 127.0.0.1 feeding the meter protocol of a fresh store.
struct EndToEnd : ::testing::Test {
    QTemporaryDir dayFileDir;
    MeasurementStore store;
    testing::FakeClock clock{DateTime{2024, 8, 2, 12, 0, 0, 0}};
    EventLog log{clock};
    testing::RecordingToneSink tones;
    LanguageMode language = LanguageMode::English;
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<MeterServer> server;
    int messages = 0;

    void SetUp() override {
        testing::qtApplication();
        ASSERT_TRUE(dayFileDir.isValid());
        link = std::make_unique<MeterLink>(store, log, tones, clock, language,
                                           dayFileDir.path().toStdString());
        MeterServerSettings s;
        s.address = QHostAddress::LocalHost;
        s.meterPort = 0;
        s.secondPort = 0;
        server = std::make_unique<MeterServer>(s, clock);
        server->setMessageHandler([this](std::string_view m) {
            ++messages;
            return link->handleMessage(m);
        });
        server->start();
        ASSERT_NE(server->meterPort(), 0);
    }
    void TearDown() override { server.reset(); }

    // Runs hoq-sim against the meter port until it ends.
    void runSimulator(const QStringList& extra) {
        QProcess sim;
        sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim.start(HOQ_SIM_PATH,
                  QStringList{"--port", QString::number(server->meterPort())} + extra);
        ASSERT_TRUE(sim.waitForStarted(kWaitMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.state() == QProcess::NotRunning; }, kWaitMs));
        EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim.exitCode(), 0);
    }
};

TEST_F(EndToEnd, SimulatedMeterRegistersAndFeedsTheLiveReadings) {
    runSimulator({"--count", "3", "--interval", "20", "--no-polls", "--id-prefix", "E2E",
                  "--start-time", "19:30", "--ip", "192.168.7.9"});
    // A device message and three data messages.
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages >= 4; }, kWaitMs));
    EXPECT_EQ(messages, 4);

    const MeterRegistry& reg = store.registry;
    ASSERT_EQ(reg.MeterCount, 1);
    EXPECT_EQ(reg.rows[0].Id.view(), "E2E000000001");
    EXPECT_EQ(reg.rows[0].IpAddr.view(), "192.168.7.9");
    EXPECT_EQ(reg.rows[0].Field24, 2);  // the sequence number of the third data message
    EXPECT_EQ(store.calendar.DataFlag, 1);
    const LiveReadings& live = store.live;
    for (float v : {live.V1, live.V2, live.V3}) {
        EXPECT_GT(v, 215.0f);
        EXPECT_LT(v, 235.0f);
    }
    EXPECT_GT(live.A1, 0.0f);
    EXPECT_NEAR(live.Watt, live.W1 + live.W2 + live.W3, 0.01f);
    EXPECT_NEAR(live.W1, live.V1 * live.A1 * kPowerFactor, 0.01f);
    EXPECT_EQ(link->currentId(), "E2E000000001");
    EXPECT_FALSE(tones.tones.empty());  // the new meter was greeted with a beep
}

TEST_F(EndToEnd, ManyMetersEachRegisterUnderTheirOwnId) {
    runSimulator(
        {"--meters", "5", "--count", "2", "--interval", "10", "--no-polls", "--id-prefix", "GRP"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages >= 15; }, kWaitMs));
    ASSERT_EQ(store.registry.MeterCount, 5);
    for (int i = 1; i <= 5; ++i) EXPECT_GE(store.registry.find(sim::meterId("GRP", i)), 0) << i;
}

TEST_F(EndToEnd, MessagesJoinedInOneWriteAreHandledOneByOne) {
    QTcpSocket meter;
    meter.connectToHost(QHostAddress::LocalHost, server->meterPort());
    ASSERT_TRUE(meter.waitForConnected(kWaitMs));
    std::string joined;
    for (int i = 1; i <= 3; ++i) {
        sim::DataWords w;
        w.decimals[0] = w.decimals[1] = w.decimals[2] = 230;
        w.decimals[6] = static_cast<double>(i);
        w.integers[2] = i;
        joined += sim::buildDataMessage(sim::meterId("JOIN", i), "10.0.0.1", 240802, 43200, w);
        joined += sim::kCrLf;
    }
    meter.write(joined.data(), static_cast<qint64>(joined.size()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages >= 3; }, kWaitMs));
    ASSERT_EQ(store.registry.MeterCount, 3);
    for (int i = 1; i <= 3; ++i) {
        const int row = store.registry.find(sim::meterId("JOIN", i));
        ASSERT_GE(row, 0);
        EXPECT_FLOAT_EQ(store.registry.rows[row].A1, static_cast<float>(i));
        EXPECT_EQ(store.registry.rows[row].Field24, i);
    }
}

TEST_F(EndToEnd, SecondPortClientIsNeitherReadNorAnsweredNorLogged) {
    const std::size_t linesBefore = log.lines().size();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server->secondPort());
    ASSERT_TRUE(client.waitForConnected(kWaitMs));
    const std::string poll = sim::buildPoll("E2E000000001") + std::string(sim::kCrLf);
    client.write(poll.data(), static_cast<qint64>(poll.size()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.bytesToWrite() == 0; }, kWaitMs));
    QTest::qWait(100);
    EXPECT_EQ(messages, 0);
    EXPECT_EQ(log.lines().size(), linesBefore);
    EXPECT_EQ(store.registry.MeterCount, 0);
    EXPECT_EQ(client.bytesAvailable(), 0);
}

TEST_F(EndToEnd, MeterWithoutLineEndsHasItsDataAccepted) {
    runSimulator({"--count", "3", "--interval", "50", "--no-polls", "--no-line-end", "--id-prefix",
                  "NLE", "--start-time", "10:00"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.registry.rows[0].Field24 == 2; }, kWaitMs));
    EXPECT_EQ(link->counters().abandoned, 0u);
    EXPECT_EQ(store.registry.rows[0].Id.view(), "NLE000000001");
    EXPECT_EQ(store.calendar.DataFlag, 1);
    EXPECT_GT(store.live.V1, 200.0f);
}

}  // namespace
}  // namespace tev
