#include <gtest/gtest.h>

#include <QDate>
#include <QFileInfo>
#include <QTcpServer>
#include <algorithm>
#include <csignal>
#include <memory>

#include "services/mqtt/mosquitto/mosquitto_client.h"
#include "services/mqtt/rules/meter_publisher.h"
#include "tests/app/program_process.h"
#include "tests/services/mqtt/mosquitto/broker_fixture.h"
#include "tests/support/qt_application.h"

namespace tev::mqtt {
namespace {

using testing::Broker;
using testing::Subscriber;
using Message = Subscriber::Message;

// The broker comes with the set-up (scripts/common.sh); without it these tests fail and say why.
#define REQUIRE_BROKER()                           \
    if (!QFileInfo(MOSQUITTO_PATH).isExecutable()) \
    GTEST_FAIL() << "mosquitto is not installed (" MOSQUITTO_PATH "): Debian package mosquitto"

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(MqttBroker, TheProgramPublishesStatesRetainedDiscoveryAndItsLastWillWhenKilled) {
    REQUIRE_BROKER();
    testing::qtApplication();
    Broker broker;
    ASSERT_TRUE(broker.start());
    Subscriber states(broker.port(), {"tev3p/#"});
    ASSERT_TRUE(states.waitSubscribed());

    QTemporaryDir folder;
    testing::HeadlessProgram program;
    ASSERT_TRUE(program.start(
        folder.path(), {"--mqtt-host", "127.0.0.1", "--mqtt-port", QString::number(broker.port())}))
        << program.output.toStdString();
    ASSERT_TRUE(program.waitForText("MQTT: connected to broker")) << program.output.toStdString();
    EXPECT_TRUE(states.waitFor(
        [](const Message& m) { return m.topic == "tev3p/status" && m.payload == "online"; }));

    ASSERT_EQ(testing::runSimulator(program.meterPort, 30), 0);
    const std::string today = QDate::currentDate().toString("yyyy-MM-dd").toStdString();
    EXPECT_TRUE(states.waitFor([&](const Message& m) {
        return m.topic == "tev3p/SIM000000001/state" &&
               m.payload.rfind("{\"id\":\"SIM000000001\",\"ip\":\"192.168.1.100\",\"date\":\"" +
                                   today + "\",\"time\":\"",
                               0) == 0 &&
               contains(m.payload, "\"V1\":2") && contains(m.payload, "\"Watt\":") &&
               m.payload.back() == '}' && !m.retain;
    })) << program.output.toStdString();

    // A subscriber that comes later still gets the discovery configs: they are retained.
    Subscriber late(broker.port(), {"homeassistant/#"});
    const auto ofMeter = [](const std::vector<Message>& all) {
        return std::count_if(all.begin(), all.end(), [](const Message& m) {
            return m.retain && m.topic.rfind("homeassistant/sensor/tev3p_SIM000000001/", 0) == 0;
        });
    };
    EXPECT_TRUE(late.waitForAll([&](const auto& all) { return ofMeter(all) >= 12; }));
    // Whatever else the broker held has come by the marker: twelve, not more.
    ASSERT_TRUE(late.drain());
    const auto configs = late.messages();
    EXPECT_EQ(ofMeter(configs), 12);
    for (const Message& m : configs) {
        if (contains(m.topic, "/KWh/config")) {
            EXPECT_TRUE(contains(m.payload, "\"device_class\":\"energy\""));
            EXPECT_TRUE(contains(m.payload, "\"state_class\":\"total_increasing\""));
        }
        if (contains(m.topic, "/V1/config")) {
            EXPECT_TRUE(
                contains(m.payload, "\"device_class\":\"voltage\",\"unit_of_measurement\":\"V\""));
            EXPECT_TRUE(
                contains(m.payload, "\"default_entity_id\":\"sensor.tev3p_sim000000001_v1\""));
        }
        // Home Assistant ignores object_id since 2026.4; default_entity_id replaces it.
        EXPECT_FALSE(contains(m.payload, "object_id")) << m.payload;
    }

    // Killed without a goodbye: the broker publishes the last will.
    program.signal(SIGKILL);
    program.finish();
    EXPECT_TRUE(states.waitFor(
        [](const Message& m) { return m.topic == "tev3p/status" && m.payload == "offline"; }));
}

// The real client, counting each kind of event the publisher takes from it.
class CountingClient : public MqttClient {
  public:
    void start(const MqttSettings& settings, const std::string& password,
               const Presence& presence) override {
        client_.start(settings, password, presence);
    }
    bool publish(const std::string& topic, const std::string& payload, bool retain) override {
        return client_.publish(topic, payload, retain);
    }
    std::vector<ClientEvent> takeEvents() override {
        auto events = client_.takeEvents();
        for (const ClientEvent& e : events) ++counts_[static_cast<int>(e.kind)];
        return events;
    }
    void stop() override { client_.stop(); }
    int count(ClientEvent::Kind kind) const { return counts_[static_cast<int>(kind)]; }

  private:
    MosquittoClient client_;
    int counts_[5] = {};
};

// The publisher with the real client, driven as the program's timer drives it.
struct LivePublisher {
    std::unique_ptr<MeterRegistry> registry = std::make_unique<MeterRegistry>();
    CountingClient client;
    std::vector<std::string> log;
    std::unique_ptr<MeterPublisher> publisher;
    QElapsedTimer clock;

    explicit LivePublisher(MqttSettings s) {
        MeterEntry& e = registry->rows[registry->MeterCount++];
        e.Id.assign("SIM000000001");
        e.MeterDate = 240802;
        e.Secs = 3600;
        e.V1 = 230.0f;
        publisher = std::make_unique<MeterPublisher>(
            s, client, [this](const std::string& line) { log.push_back(line); });
        clock.start();
        publisher->start();
    }
    // Meter messages every 50 ms for `ms`, or until `done`.
    template <typename Done>
    bool run(int ms, Done done) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            publisher->meterMessage(*registry, "SIM000000001");
            publisher->service(*registry, clock.elapsed());
            if (done()) return true;
            QThread::msleep(50);
        }
        return false;
    }
    int logLines(const std::string& part) const {
        return static_cast<int>(std::count_if(
            log.begin(), log.end(), [&](const std::string& l) { return contains(l, part); }));
    }
};

MqttSettings localBroker(int port) {
    MqttSettings s;
    s.host = "127.0.0.1";
    s.port = port;
    s.clientId = "tev3p-test";
    return s;
}

TEST(MqttBroker, ABrokerStoppedAndStartedAgainIsLoggedOnceEachWayAndPublishingResumes) {
    REQUIRE_BROKER();
    testing::qtApplication();
    Broker broker;
    ASSERT_TRUE(broker.start());
    LivePublisher live(localBroker(broker.port()));
    ASSERT_TRUE(live.run(testing::kBrokerWaitMs, [&] { return live.publisher->connected(); }));

    broker.stop();
    // The loss and two failed attempts after it: the link keeps taking meter messages.
    using Kind = ClientEvent::Kind;
    EXPECT_TRUE(live.run(20000, [&] {
        return live.client.count(Kind::Lost) + live.client.count(Kind::Unreachable) >= 3;
    }));
    EXPECT_FALSE(live.publisher->connected());
    EXPECT_EQ(live.logLines("retrying in the background"), 1);
    EXPECT_LE(live.publisher->queue().size(), MeterPublisher::kQueueCapacity);

    ASSERT_TRUE(broker.start());
    live.registry->rows[0].V1 = 241.5f;
    ASSERT_TRUE(live.run(20000, [&] { return live.publisher->connected(); })) << live.log.back();
    EXPECT_EQ(live.logLines("reached again, publishing resumes"), 1);
    Subscriber after(broker.port(), {"tev3p/#", "homeassistant/#"});
    ASSERT_TRUE(after.waitSubscribed());
    bool seen = false;
    live.run(testing::kBrokerWaitMs, [&] {
        for (const Message& m : after.messages())
            if (m.topic == "tev3p/SIM000000001/state" && contains(m.payload, "\"V1\":241.5"))
                seen = true;
        return seen;
    });
    EXPECT_TRUE(seen);
    // The restarted broker kept nothing: discovery was sent again after the reconnect.
    EXPECT_TRUE(after.waitFor([](const Message& m) { return contains(m.topic, "/KWh/config"); }));
    EXPECT_EQ(live.logLines("retrying in the background"), 1);
    live.publisher->stop();
}

TEST(MqttBroker, AfterACleanStopEveryMetersRetainedAvailabilityIsOffline) {
    REQUIRE_BROKER();
    testing::qtApplication();
    Broker broker;
    ASSERT_TRUE(broker.start());
    QTemporaryDir folder;
    testing::HeadlessProgram program;
    ASSERT_TRUE(program.start(
        folder.path(), {"--mqtt-host", "127.0.0.1", "--mqtt-port", QString::number(broker.port())}))
        << program.output.toStdString();
    ASSERT_TRUE(program.waitForText("MQTT: connected to broker")) << program.output.toStdString();
    Subscriber watch(broker.port(), {"tev3p/+/availability"});
    ASSERT_TRUE(watch.waitSubscribed());
    ASSERT_EQ(testing::runSimulator(program.meterPort, 5), 0);
    ASSERT_TRUE(watch.waitFor([](const Message& m) {
        return m.topic == "tev3p/SIM000000001/availability" && m.payload == "online";
    }));
    program.signal(SIGTERM);
    ASSERT_TRUE(program.finish());
    EXPECT_EQ(program.process.exitCode(), 0);

    // One who looks later finds the retained "offline", not "online".
    Subscriber late(broker.port(), {"tev3p/+/availability", "tev3p/status"});
    ASSERT_TRUE(late.waitFor(
        [](const Message& m) { return m.topic == "tev3p/SIM000000001/availability" && m.retain; }));
    ASSERT_TRUE(late.drain());
    for (const Message& m : late.messages()) EXPECT_EQ(m.payload, "offline") << m.topic;
}

TEST(MqttBroker, ABrokerThatNeverAnswersTheConnectionIsLoggedOnceAndTriedAgain) {
    testing::qtApplication();
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    MqttSettings s = localBroker(silent.serverPort());
    s.handshakeTimeoutMs = 300;
    LivePublisher live(s);
    // Attempts at 0, about 1.3 s and 3.3 s, each given up after 0.3 s.
    int attempts = 0;
    const auto acceptAll = [&] {
        QCoreApplication::processEvents();
        while (QTcpSocket* c = silent.nextPendingConnection()) {
            ++attempts;
            c->deleteLater();
        }
    };
    EXPECT_TRUE(live.run(20000, [&] {
        acceptAll();
        return live.client.count(ClientEvent::Kind::Unreachable) >= 3;
    }));
    EXPECT_FALSE(live.publisher->connected());
    EXPECT_EQ(live.logLines("cannot be reached: no answer to the connection within 300 ms; "
                            "retrying in the background"),
              1)
        << (live.log.empty() ? std::string() : live.log.back());
    EXPECT_EQ(live.log.size(), 2u);
    QElapsedTimer t;
    t.start();
    while (attempts < 2 && t.elapsed() < testing::kBrokerWaitMs) {
        acceptAll();
        QThread::msleep(20);
    }
    EXPECT_GE(attempts, 2);
    live.publisher->stop();
}

TEST(MqttBroker, WrongCredentialsAreReportedOnceWhileTheClientKeepsTrying) {
    REQUIRE_BROKER();
    testing::qtApplication();
    Broker broker;
    const QString passwords = broker.path("passwords");
    QProcess passwd;
    passwd.start(MOSQUITTO_PASSWD_PATH, {"-b", "-c", passwords, "meter", "secret"});
    ASSERT_TRUE(passwd.waitForFinished(testing::kBrokerWaitMs));
    ASSERT_EQ(passwd.exitCode(), 0);
    QFile::setPermissions(
        passwords, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
    ASSERT_TRUE(broker.start("allow_anonymous false\npassword_file " + passwords));

    QFile wrong(broker.path("wrong-password"));
    ASSERT_TRUE(wrong.open(QIODevice::WriteOnly));
    wrong.write("not-the-secret\n");
    wrong.close();
    MqttSettings s = localBroker(broker.port());
    s.user = "meter";
    s.passwordFile = wrong.fileName().toStdString();
    LivePublisher live(s);
    // First attempt at once, then after 1 s and 2 s: three refusals.
    EXPECT_TRUE(
        live.run(20000, [&] { return live.client.count(ClientEvent::Kind::Refused) >= 3; }));
    EXPECT_FALSE(live.publisher->connected());
    EXPECT_EQ(live.logLines("refused the connection"), 1);
    EXPECT_EQ(live.logLines("not authorised"), 1);
    live.publisher->stop();
}

}  // namespace
}  // namespace tev::mqtt

namespace tev::mqtt {
namespace {

TEST(MqttBroker, ABrokerThatAcceptsAndNeverAnswersHoldsUpNeitherMessagesNorTheStop) {
    testing::qtApplication();
    // The kernel completes the connection; nothing ever reads or answers it.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    MqttSettings s;
    s.host = "127.0.0.1";
    s.port = silent.serverPort();
    s.clientId = "tev3p-test";
    auto registry = std::make_unique<MeterRegistry>();
    MeterEntry& e = registry->rows[registry->MeterCount++];
    e.Id.assign("SIM000000001");
    e.MeterDate = 240802;
    e.Secs = 3600;
    MosquittoClient client;
    std::vector<std::string> log;
    MeterPublisher publisher(s, client, [&](const std::string& l) { log.push_back(l); });
    publisher.start();

    // A blocking client would wait here for the broker's answer (keep-alive 30 s).
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 20; ++i) {
        publisher.meterMessage(*registry, "SIM000000001");
        publisher.service(*registry, i * 1000LL);
        QThread::msleep(50);
    }
    EXPECT_FALSE(publisher.connected());
    EXPECT_LT(t.elapsed(), 10000);
    t.restart();
    publisher.stop();
    EXPECT_LE(t.elapsed(), MosquittoClient::kStopWaitMs + 1000);
}

}  // namespace
}  // namespace tev::mqtt
