#include "meterport/meter_server.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_clock.h"
#include "tests/support/qt_application.h"

namespace tev {
namespace {

constexpr int kWaitMs = 5000;

MeterServerSettings loopbackSettings() {
    MeterServerSettings s;
    s.address = QHostAddress::LocalHost;
    s.meterPort = 0;
    s.secondPort = 0;
    return s;
}

// A MeterServer on 127.0.0.1 that records every message, errors and listen reports.
struct MeterServerFixture : ::testing::Test {
    testing::FakeClock clock;
    std::unique_ptr<MeterServer> server;
    std::vector<std::string> messages;
    std::vector<std::string> errors;
    std::vector<std::string> listenIps;
    std::string answer;

    void SetUp() override {
        testing::qtApplication();
        make(loopbackSettings());
    }
    void make(MeterServerSettings settings) {
        server = std::make_unique<MeterServer>(settings, clock);
        server->setMessageHandler([this](std::string_view m) {
            messages.emplace_back(m);
            return answer;
        });
        server->setErrorHandler([this](const std::string& e) { errors.push_back(e); });
        server->setListenHandler([this](const std::string& ip) { listenIps.push_back(ip); });
        server->start();
    }
    std::unique_ptr<QTcpSocket> connectTo(quint16 port) {
        auto s = std::make_unique<QTcpSocket>();
        s->connectToHost(QHostAddress::LocalHost, port);
        EXPECT_TRUE(s->waitForConnected(kWaitMs));
        return s;
    }
    bool waitForMessages(std::size_t n) {
        return QTest::qWaitFor([&] { return messages.size() >= n; }, kWaitMs);
    }
    // The same while the clock moves on 10 ms with every look, for a partial line's wait.
    bool waitForMessagesAsTimePasses(std::size_t n) {
        return QTest::qWaitFor(
            [&] {
                clock.advance(std::chrono::milliseconds(10));
                return messages.size() >= n;
            },
            kWaitMs);
    }
};

TEST_F(MeterServerFixture, MessagesJoinedInOneWriteArriveSeparatelyAndInOrder) {
    ASSERT_NE(server->meterPort(), 0);
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(listenIps.size(), 1u);
    EXPECT_FALSE(listenIps[0].empty());

    auto meter = connectTo(server->meterPort());
    std::string joined;
    std::vector<std::string> sent;
    for (int i = 0; i < 50; ++i) {
        sent.push_back("HQ2 METER0000" + std::to_string(10 + i) + "\r\n");
        joined += sent.back();
    }
    meter->write(joined.data(), static_cast<qint64>(joined.size()));
    ASSERT_TRUE(waitForMessages(sent.size()));
    EXPECT_EQ(messages, sent);
}

TEST_F(MeterServerFixture, AnswerGoesBackOnTheConnectionTheMessageCameFrom) {
    auto first = connectTo(server->meterPort());
    auto second = connectTo(server->meterPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->meterConnectionCount() == 2; }, kWaitMs));

    answer = "PENDING";
    second->write("HQ2 AAAAAAAAAAAA\r\n");
    ASSERT_TRUE(waitForMessages(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return second->bytesAvailable() > 0; }, kWaitMs));
    EXPECT_EQ(second->readAll(), QByteArray("PENDING"));
    QTest::qWait(50);
    EXPECT_EQ(first->bytesAvailable(), 0);
}

TEST_F(MeterServerFixture, PartialLineIsHandedOnAfterTheWaitAndWithoutLineEndsEachReadCounts) {
    auto meter = connectTo(server->meterPort());
    meter->write("HQ2 AAAAAAAAAAAA\r\nHQ2 BBBB");
    ASSERT_TRUE(waitForMessages(1));
    EXPECT_EQ(messages.size(), 1u) << "the partial line waits";
    ASSERT_TRUE(waitForMessagesAsTimePasses(2));
    EXPECT_EQ(messages[1], "HQ2 BBBB");

    auto plain = connectTo(server->meterPort());
    plain->write("HQ2 CCCCCCCCCCCC");
    ASSERT_TRUE(waitForMessagesAsTimePasses(3));
    EXPECT_EQ(messages[2], "HQ2 CCCCCCCCCCCC");
}

TEST_F(MeterServerFixture, MeterClosingRightAfterItsLastMessageStillHasItHandled) {
    auto meter = connectTo(server->meterPort());
    meter->write("HQ2 AAAAAAAAAAAA\r\nHQ2 TAIL");
    meter->disconnectFromHost();
    ASSERT_TRUE(waitForMessages(2));
    EXPECT_EQ(messages[1], "HQ2 TAIL");
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->meterConnectionCount() == 0; }, kWaitMs));
}

TEST_F(MeterServerFixture, SecondPortAcceptsReadsNothingAndAnswersNothing) {
    ASSERT_NE(server->secondPort(), 0);
    auto client = connectTo(server->secondPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->secondConnectionCount() == 1; }, kWaitMs));
    const std::string junk =
        "HQ2 AAAAAAAAAAAA\r\nHOQ-260 PWR whatever\r\n" + std::string(100000, 'x');
    client->write(junk.data(), static_cast<qint64>(junk.size()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return client->bytesToWrite() == 0; }, kWaitMs));
    QTest::qWait(100);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(client->bytesAvailable(), 0);
    EXPECT_EQ(client->state(), QAbstractSocket::ConnectedState);
}

TEST_F(MeterServerFixture, LinkOffDropsMetersAndStopsListeningLinkOnListensAgain) {
    auto meter = connectTo(server->meterPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->meterConnectionCount() == 1; }, kWaitMs));
    const quint16 secondPort = server->secondPort();

    server->setListening(false);
    EXPECT_FALSE(server->isListening());
    EXPECT_EQ(server->meterConnectionCount(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return meter->state() == QAbstractSocket::UnconnectedState; },
                                kWaitMs));
    EXPECT_EQ(server->secondPort(), secondPort);

    server->setListening(true);
    EXPECT_TRUE(server->isListening());
    EXPECT_EQ(listenIps.size(), 2u);
    auto again = connectTo(server->meterPort());
    again->write("HQ2 AAAAAAAAAAAA\r\n");
    EXPECT_TRUE(waitForMessages(1));
}

TEST_F(MeterServerFixture, AtTheCapStrangersGoOldestFirstAndAmongMetersTheOneIdleLongest) {
    MeterServerSettings s = loopbackSettings();
    s.maxConnections = 3;
    make(s);
    // Messages of "registered" meters begin with "HQ2 M".
    server->setRegisteredCheck([this] { return messages.back().rfind("HQ2 M", 0) == 0; });
    auto meter = connectTo(server->meterPort());
    meter->write("HQ2 M00000000001\r\n");
    ASSERT_TRUE(waitForMessages(1));
    clock.advance(std::chrono::milliseconds(10));
    auto older = connectTo(server->meterPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->meterConnectionCount() == 2; }, kWaitMs));
    clock.advance(std::chrono::milliseconds(10));
    auto newer = connectTo(server->meterPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->meterConnectionCount() == 3; }, kWaitMs));
    // Both strangers keep busy, the meter is the one idle longest; the oldest stranger goes.
    clock.advance(std::chrono::milliseconds(10));
    newer->write("HQ2 YYYYYYYYYYYY\r\n");
    ASSERT_TRUE(waitForMessages(2));
    older->write("HQ2 XXXXXXXXXXXX\r\n");
    ASSERT_TRUE(waitForMessages(3));
    clock.advance(std::chrono::milliseconds(10));
    auto third = connectTo(server->meterPort());
    EXPECT_TRUE(QTest::qWaitFor([&] { return older->state() == QAbstractSocket::UnconnectedState; },
                                kWaitMs));
    EXPECT_EQ(server->meterConnectionCount(), 3);
    EXPECT_EQ(server->evictedConnections(), 1u);
    EXPECT_EQ(meter->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(newer->state(), QAbstractSocket::ConnectedState);

    // When every connection carries a meter, the one idle longest goes.
    newer->write("HQ2 M00000000002\r\n");
    ASSERT_TRUE(waitForMessages(4));
    clock.advance(std::chrono::milliseconds(10));
    third->write("HQ2 M00000000003\r\n");
    ASSERT_TRUE(waitForMessages(5));
    clock.advance(std::chrono::milliseconds(10));
    meter->write("HQ2 M00000000001\r\n");
    ASSERT_TRUE(waitForMessages(6));
    clock.advance(std::chrono::milliseconds(10));
    auto fourth = connectTo(server->meterPort());
    EXPECT_TRUE(QTest::qWaitFor([&] { return newer->state() == QAbstractSocket::UnconnectedState; },
                                kWaitMs));
    EXPECT_EQ(meter->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(third->state(), QAbstractSocket::ConnectedState);
    fourth->write("HQ2 CCCCCCCCCCCC\r\n");
    ASSERT_TRUE(waitForMessages(7));
    EXPECT_EQ(messages[6], "HQ2 CCCCCCCCCCCC\r\n");
}

TEST_F(MeterServerFixture, ConnectionsSilentForTheIdleTimeAreClosedOnBothPorts) {
    MeterServerSettings s = loopbackSettings();
    s.idleTimeoutMs = 1000;
    make(s);
    auto quiet = connectTo(server->meterPort());
    auto talker = connectTo(server->meterPort());
    auto second = connectTo(server->secondPort());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return server->meterConnectionCount() == 2 && server->secondConnectionCount() == 1; },
        kWaitMs));
    clock.advance(std::chrono::milliseconds(900));
    talker->write("HQ2 TTTTTTTTTTTT\r\n");
    ASSERT_TRUE(waitForMessages(1));
    server->closeIdleConnections();
    EXPECT_EQ(server->meterConnectionCount(), 2);
    clock.advance(std::chrono::milliseconds(100));
    server->closeIdleConnections();
    EXPECT_EQ(server->meterConnectionCount(), 1);
    EXPECT_EQ(server->secondConnectionCount(), 0);
    EXPECT_EQ(server->idleClosedConnections(), 2u);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return quiet->state() == QAbstractSocket::UnconnectedState &&
                   second->state() == QAbstractSocket::UnconnectedState;
        },
        kWaitMs));
    EXPECT_EQ(talker->state(), QAbstractSocket::ConnectedState);
}

TEST(MeterServerCaps, CapsLeaveDescriptorsForFilesAndFollowTheOpenFileLimit) {
    EXPECT_EQ(MeterServer::connectionCaps(1024, 1024).meters, 672);
    EXPECT_EQ(MeterServer::connectionCaps(1024, 1024).second, 224);
    EXPECT_EQ(MeterServer::connectionCaps(65536, 1024).meters, 1024);
    EXPECT_EQ(MeterServer::connectionCaps(65536, 1024).second, 1024);
    EXPECT_EQ(MeterServer::connectionCaps(64, 1024).meters, 1);
    EXPECT_EQ(MeterServer::connectionCaps(64, 1024).second, 1);
    MeterServerSettings s = loopbackSettings();
    s.openFileLimit = 256;
    testing::qtApplication();
    testing::FakeClock clock;
    MeterServer server(s, clock);
    EXPECT_EQ(server.meterConnectionCap(), 96);
    EXPECT_EQ(server.secondConnectionCap(), 32);
}

TEST_F(MeterServerFixture, PortInUseIsReportedInPlainWordsAndTheOtherPortStillRuns) {
    QTcpServer occupier;
    ASSERT_TRUE(occupier.listen(QHostAddress::LocalHost, 0));
    MeterServerSettings s = loopbackSettings();
    s.meterPort = occupier.serverPort();
    errors.clear();
    listenIps.clear();
    make(s);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0],
              "Port " + std::to_string(s.meterPort) + ": The bound address is already in use");
    EXPECT_TRUE(listenIps.empty());
    EXPECT_FALSE(server->isListening());
    EXPECT_NE(server->secondPort(), 0);
}

TEST(MeterServerIp, ComputerIpSkipsLoopbackAndFallsBackToInterfacesThenLoopback) {
    const QHostAddress loop("127.0.1.1"), v6("fe80::1"), lan("192.168.1.20"), other("10.0.0.5");
    EXPECT_EQ(MeterServer::pickComputerIp({v6, lan, other}, {other}), "192.168.1.20");
    EXPECT_EQ(MeterServer::pickComputerIp({loop}, {QHostAddress::LocalHost, other}), "10.0.0.5");
    EXPECT_EQ(MeterServer::pickComputerIp({}, {QHostAddress::LocalHost}), "127.0.0.1");
    EXPECT_FALSE(MeterServer::computerIpText().empty());
}

}  // namespace
}  // namespace tev
