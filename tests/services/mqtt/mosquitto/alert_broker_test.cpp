#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <set>

#include "tests/app/program_process.h"
#include "tests/services/mqtt/mosquitto/broker_fixture.h"
#include "tests/support/qt_application.h"

namespace tev::mqtt {
namespace {

using testing::Broker;
using testing::Subscriber;
using Message = Subscriber::Message;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(MqttBroker, AlertsAreRetainedAsJsonWithProblemSensorsAndTheCostTodayAsAMonetarySensor) {
    if (!QFileInfo(MOSQUITTO_PATH).isExecutable())
        GTEST_FAIL() << "mosquitto is not installed (" MOSQUITTO_PATH "): Debian package mosquitto";
    testing::qtApplication();
    Broker broker;
    ASSERT_TRUE(broker.start());
    QTemporaryDir folder;
    {
        QFile ini(folder.filePath("tev3p.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        // The simulated meter draws about 1 A per phase: a 0.5 A rating trips at once.
        ini.write(
            "[alerts]\ncurrent_max=0.5\ncurrent_seconds=0\n"
            "[tariff]\ncurrency=EUR\nprice_per_kwh=0.30\nstanding_charge_per_day=0.25\n");
    }
    testing::HeadlessProgram program;
    ASSERT_TRUE(program.start(
        folder.path(), {"--mqtt-host", "127.0.0.1", "--mqtt-port", QString::number(broker.port())}))
        << program.output.toStdString();
    ASSERT_TRUE(program.waitForText("MQTT: connected to broker")) << program.output.toStdString();
    ASSERT_EQ(testing::runSimulator(program.meterPort, 5), 0);
    ASSERT_TRUE(program.waitForText("Alert start: meter SIM000000001, current L1"))
        << program.output.toStdString();

    // A subscriber that comes afterwards gets everything: it is retained. Once it has seen each
    // topic checked below, all of them have reached the broker.
    const auto complete = [](const std::vector<Message>& all) {
        std::set<std::string> topics;
        for (const Message& m : all) topics.insert(m.topic);
        const auto problemConfigs = std::count_if(topics.begin(), topics.end(), [](auto& t) {
            return t.rfind("homeassistant/binary_sensor/tev3p_SIM000000001/alert_", 0) == 0;
        });
        return topics.count("tev3p/SIM000000001/alert") &&
               topics.count("tev3p/SIM000000001/cost") &&
               topics.count("homeassistant/sensor/tev3p_SIM000000001/cost_today/config") &&
               problemConfigs >= 5;
    };
    Subscriber late(broker.port(), {"tev3p/+/alert", "tev3p/+/cost", "homeassistant/#"});
    ASSERT_TRUE(late.waitForAll(complete)) << program.output.toStdString();
    // A subscriber that comes after it all must get each topic from the broker's retained
    // store; the marker comes after the last of them.
    Subscriber later(broker.port(), {"tev3p/+/alert", "tev3p/+/cost", "homeassistant/#"});
    ASSERT_TRUE(later.drain());
    const auto got = later.messages();
    int problems = 0;
    bool alert = false, cost = false, costSensor = false;
    std::set<std::string> seen;
    for (const Message& m : got) {
        // The first message of each topic is the retained one; a later one is an update sent
        // while subscribed, which the broker delivers without the retain flag.
        if (seen.insert(m.topic).second) {
            EXPECT_TRUE(m.retain) << m.topic;
        }
        if (m.topic == "tev3p/SIM000000001/alert") {
            alert = true;
            EXPECT_EQ(m.payload.front(), '[');
            EXPECT_TRUE(has(m.payload, "{\"rule\":\"current\",\"phase\":1,\"value\":"));
            EXPECT_TRUE(has(m.payload, "\"threshold\":0.5,\"since\":\""));
        }
        if (m.topic == "tev3p/SIM000000001/cost") {
            cost = true;
            EXPECT_EQ(m.payload.rfind("{\"cost_today\":0.", 0), 0u) << m.payload;
            EXPECT_TRUE(has(m.payload, "\"currency\":\"EUR\",\"last_reset\":\""));
        }
        if (m.topic.rfind("homeassistant/binary_sensor/tev3p_SIM000000001/alert_", 0) == 0) {
            ++problems;
            EXPECT_TRUE(has(m.payload, "\"device_class\":\"problem\"")) << m.payload;
            EXPECT_TRUE(has(m.payload, "\"state_topic\":\"tev3p/SIM000000001/alert\""));
            EXPECT_TRUE(has(m.payload, "\"identifiers\":[\"tev3p_SIM000000001\"]"));
        }
        if (m.topic == "homeassistant/sensor/tev3p_SIM000000001/cost_today/config") {
            costSensor = true;
            EXPECT_TRUE(
                has(m.payload, "\"device_class\":\"monetary\",\"unit_of_measurement\":\"EUR\""));
        }
    }
    EXPECT_TRUE(alert && cost && costSensor);
    EXPECT_EQ(problems, 5);
    program.signal(SIGTERM);
    EXPECT_TRUE(program.finish());
}

}  // namespace
}  // namespace tev::mqtt
