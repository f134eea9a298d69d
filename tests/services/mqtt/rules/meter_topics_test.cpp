#include "services/mqtt/rules/meter_topics.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cmath>

#include "core/texts/json_text.h"
#include "services/mqtt/rules/mqtt_settings.h"
#include "services/mqtt/rules/publish_queue.h"

namespace tev::mqtt {
namespace {

TEST(MeterTopics, StateJsonCarriesTheMetersValuesWithItsPowersAndNullForNonNumbers) {
    MeterEntry m;
    m.Id.assign("HQ\"260/#0001");
    m.IpAddr.assign("192.168.1.7");
    m.MeterDate = 240802;
    m.Secs = 8 * 3600 + 5 * 60 + 9;
    m.V1 = 230.0f, m.V2 = 231.0f, m.V3 = 229.0f;
    m.A1 = 1.0f, m.A2 = 2.0f, m.A3 = NAN;
    m.Energy[0] = 12.3456f;
    EXPECT_EQ(meterStateJson(m),
              "{\"id\":\"HQ\\\"260/#0001\",\"ip\":\"192.168.1.7\",\"date\":\"2024-08-02\","
              "\"time\":\"08:05:09\",\"V1\":230.0,\"V2\":231.0,\"V3\":229.0,\"A1\":1.00,"
              "\"A2\":2.00,\"A3\":null,\"Amp\":null,\"W1\":197.8,\"W2\":397.3,\"W3\":null,"
              "\"Watt\":null,\"KWh\":12.346}");
    // The ID can add no topic level and no wildcard.
    MqttSettings s;
    EXPECT_EQ(stateTopic(s, m.Id.view()), "tev3p/HQ_260__0001_c7bee14d/state");
    EXPECT_EQ(availabilityTopic(s, m.Id.view()), "tev3p/HQ_260__0001_c7bee14d/availability");
}

TEST(MeterTopics, DiscoveryGivesEachSensorItsClassUnitAndStateClassUnderOneDevice) {
    MeterEntry m;
    m.Id.assign("SIM000000001");
    m.Model.assign("HOQ-260 3P");
    MqttSettings s;
    const auto messages = discoveryMessages(s, m);
    ASSERT_EQ(messages.size(), 12u);
    EXPECT_EQ(messages[0].topic, "homeassistant/sensor/tev3p_SIM000000001/V1/config");
    EXPECT_EQ(messages[0].payload,
              "{\"name\":\"Voltage L1\",\"unique_id\":\"tev3p_SIM000000001_V1\","
              "\"default_entity_id\":\"sensor.tev3p_sim000000001_v1\",\"state_topic\":\"tev3p/"
              "SIM000000001/state\","
              "\"value_template\":\"{{ value_json.V1 }}\",\"device_class\":\"voltage\","
              "\"unit_of_measurement\":\"V\",\"state_class\":\"measurement\","
              "\"availability_mode\":\"all\",\"availability\":[{\"topic\":\"tev3p/status\"},"
              "{\"topic\":\"tev3p/SIM000000001/availability\"}],\"device\":{\"identifiers\":"
              "[\"tev3p_SIM000000001\"],\"name\":\"HOQ SIM000000001\",\"model\":\"HOQ-260 3P\","
              "\"manufacturer\":\"HOQ\"}}");
    const auto has = [&](int i, const std::string& text) {
        return messages[i].payload.find(text) != std::string::npos;
    };
    EXPECT_TRUE(has(4, "\"device_class\":\"current\",\"unit_of_measurement\":\"A\""));
    EXPECT_TRUE(has(10, "\"device_class\":\"power\",\"unit_of_measurement\":\"W\""));
    EXPECT_EQ(messages[11].topic, "homeassistant/sensor/tev3p_SIM000000001/KWh/config");
    EXPECT_TRUE(has(11, "\"default_entity_id\":\"sensor.tev3p_sim000000001_kwh\""));
    for (const auto& m : messages) EXPECT_EQ(m.payload.find("object_id"), std::string::npos);
    EXPECT_TRUE(has(11,
                    "\"device_class\":\"energy\",\"unit_of_measurement\":\"kWh\","
                    "\"state_class\":\"total_increasing\""));
    // A named meter's device bears its name, escaped; its topics and IDs stay by meter ID.
    s.meterNames.byId.emplace("SIM000000001", "Sh\"ed\\ K\u00fcche");
    const auto named = discoveryMessages(s, m);
    ASSERT_EQ(named.size(), 12u);
    EXPECT_EQ(named[0].topic, messages[0].topic);
    for (const auto& n : named)
        EXPECT_NE(n.payload.find("[\"tev3p_SIM000000001\"],\"name\":\"Sh\\\"ed\\\\ K\u00fcche\","),
                  std::string::npos)
            << n.payload;
}

TEST(MqttSettings, KeysAreReadAndBadValuesReportedWithoutTakingEffect) {
    std::vector<std::string> problems;
    const MqttSettings s = mqttSettingsFrom({{"host", "broker"},
                                             {"port", "8883"},
                                             {"tls", "on"},
                                             {"prefix", "home/power"},
                                             {"client_id", "desk"}},
                                            problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(s.enabled());
    EXPECT_EQ(s.port, 8883);
    EXPECT_TRUE(s.tls);
    EXPECT_EQ(s.prefix, "home/power");

    const MqttSettings bad = mqttSettingsFrom(
        {{"port", "0"}, {"tls", "maybe"}, {"prefix", "a/#"}, {"colour", "red"}}, problems);
    EXPECT_EQ(problems.size(), 4u);
    EXPECT_FALSE(bad.enabled());
    EXPECT_EQ(bad.port, 1883);
    EXPECT_EQ(bad.prefix, "tev3p");
}

TEST(PublishQueue, ANewerMessageReplacesTheWaitingOneInItsPlaceAndAFullQueueDropsTheOldest) {
    PublishQueue q(2);
    q.put("a", "1", false);
    q.put("b", "2", true);
    q.put("a", "3", false);
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q.front().topic, "a");
    EXPECT_EQ(q.front().payload, "3");
    q.put("c", "4", false);
    EXPECT_EQ(q.dropped(), 1u);
    EXPECT_EQ(q.front().topic, "b");
    EXPECT_TRUE(q.front().retain);
    EXPECT_EQ(q.payloadBytes(), 2u);
    q.popFront();
    EXPECT_EQ(q.front().payload, "4");
}

// What a strict subscriber sees: the JSON parses and the text is valid UTF-8 without any raw
// control character.
QJsonObject parsed(const std::string& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    EXPECT_TRUE(QString::fromUtf8(json.data(), static_cast<qsizetype>(json.size())).toUtf8() ==
                QByteArray(json.data(), static_cast<qsizetype>(json.size())))
        << "not valid UTF-8: " << json;
    for (const char c : json) {
        const auto u = static_cast<unsigned char>(c);
        EXPECT_TRUE(u >= 0x20 && u != 0x7f) << "raw control byte " << int(u);
    }
    return doc.object();
}

TEST(JsonText, RawBytesOfAMeterTextStillGiveJsonThatParses) {
    std::string out;
    appendJsonString(out,
                     "10.0.0.7\xff\xfe\x1b[2J\x7f\xc2\x9b|\xe6\x97|\xed\xa0\x80|\xc0\xaf|\"\\|用");
    EXPECT_EQ(out,
              "\"10.0.0.7\xef\xbf\xbd\xef\xbf\xbd\\u001b[2J\\u007f\\u009b|\xef\xbf\xbd\xef\xbf\xbd|"
              "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd|\xef\xbf\xbd\xef\xbf\xbd|\\\"\\\\|用\"");

    MeterEntry m;
    m.Id.assign("SIM000000001");
    // Every byte value in the IP text, as a meter on the network may send it.
    std::string ip;
    for (int b = 1; b < 256; b += 14) ip += static_cast<char>(b);
    m.IpAddr.assign(ip.substr(0, 18));
    const QJsonObject state = parsed(meterStateJson(m));
    EXPECT_EQ(state.value("id").toString(), "SIM000000001");
    EXPECT_EQ(state.value("ip").toString().size(), 18);
}

TEST(MeterTopics, IdsDifferingOnlyInReplacedCharactersGetDistinctNamesAndUniqueIds) {
    MqttSettings s;
    MeterEntry a, b;
    a.Id.assign("A/0000000001");
    b.Id.assign("A+0000000001");
    EXPECT_EQ(topicSafeId(a.Id.view()), "A_0000000001_bc517e6e");
    EXPECT_EQ(topicSafeId(b.Id.view()), "A_0000000001_70394bba");
    // A plain ID keeps its name, so existing Home Assistant entities stay.
    EXPECT_EQ(topicSafeId("SIM000000001"), "SIM000000001");
    const auto da = discoveryMessages(s, a);
    const auto db = discoveryMessages(s, b);
    for (std::size_t i = 0; i < da.size(); ++i) {
        EXPECT_NE(da[i].topic, db[i].topic);
        const QJsonObject ca = parsed(da[i].payload);
        const QJsonObject cb = parsed(db[i].payload);
        EXPECT_NE(ca.value("unique_id"), cb.value("unique_id"));
        EXPECT_NE(ca.value("default_entity_id"), cb.value("default_entity_id"));
        EXPECT_NE(ca.value("state_topic"), cb.value("state_topic"));
    }
    EXPECT_EQ(parsed(da[0].payload).value("default_entity_id").toString(),
              "sensor.tev3p_a_0000000001_bc517e6e_v1");
}

TEST(MqttSettings, AClientIdOrUserNameLongerThanMqttAllowsIsAProblem) {
    std::vector<std::string> problems;
    const MqttSettings s = mqttSettingsFrom(
        {{"client_id", std::string(70000, 'c')}, {"user", std::string(65535, 'u')}}, problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "MQTT client_id is 70000 bytes long; MQTT allows at most 65535");
    EXPECT_EQ(s.user.size(), 65535u);
    mqttSettingsFrom({{"port", "70000"}}, problems);
    EXPECT_EQ(problems.back(), "MQTT port \"70000\" is not a port number 1 … 65535");
}

}  // namespace
}  // namespace tev::mqtt
