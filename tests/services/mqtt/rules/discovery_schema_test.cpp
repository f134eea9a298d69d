#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <map>
#include <set>
#include <string>

#include "services/mqtt/rules/alert_topics.h"
#include "services/mqtt/rules/evening_topics.h"
#include "services/mqtt/rules/meter_topics.h"

namespace tev::mqtt {
namespace {

// What Home Assistant's MQTT discovery accepts for the two platforms the program announces, as
// its sensor and binary_sensor schemas give them: the keys, the device classes with their units
// and state classes, and the rules between them. A key Home Assistant does not know makes the
// whole config fail there, so unknown keys fail here too.
const std::set<QString> kCommonKeys = {"availability",
                                       "availability_mode",
                                       "availability_template",
                                       "availability_topic",
                                       "default_entity_id",
                                       "device",
                                       "device_class",
                                       "enabled_by_default",
                                       "encoding",
                                       "entity_category",
                                       "entity_picture",
                                       "expire_after",
                                       "force_update",
                                       "icon",
                                       "json_attributes_template",
                                       "json_attributes_topic",
                                       "name",
                                       "object_id",
                                       "payload_available",
                                       "payload_not_available",
                                       "platform",
                                       "qos",
                                       "state_topic",
                                       "unique_id",
                                       "value_template"};
const std::set<QString> kSensorKeys = {"last_reset_value_template", "options", "state_class",
                                       "suggested_display_precision", "unit_of_measurement"};
const std::set<QString> kBinarySensorKeys = {"off_delay", "payload_off", "payload_on"};

struct SensorClass {
    std::set<QString> units;  // empty: any ISO 4217 code
    std::set<QString> stateClasses;
};
const std::map<QString, SensorClass> kSensorClasses = {
    {"voltage", {{"V", "mV"}, {"measurement"}}},
    {"current", {{"A", "mA"}, {"measurement"}}},
    {"power", {{"W", "kW"}, {"measurement"}}},
    {"energy", {{"Wh", "kWh", "MWh"}, {"total", "total_increasing"}}},
    // A monetary figure that is no running total (a projection) has no state class: Home
    // Assistant then keeps no long-term sum of it.
    {"monetary", {{}, {"total", ""}}},
};
const std::set<QString> kBinarySensorClasses = {"problem", "connectivity", "power", "running"};

// Every fault of one config against the schema; empty when Home Assistant takes it.
std::vector<std::string> faults(const std::string& topic, const std::string& payload) {
    std::vector<std::string> out;
    auto fail = [&](const QString& what) { out.push_back(topic + ": " + what.toStdString()); };
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(payload), &error);
    if (!doc.isObject())
        return {topic + ": not a JSON object: " + error.errorString().toStdString()};
    const QJsonObject c = doc.object();
    const QRegularExpression platformTopic(
        "^homeassistant/(sensor|binary_sensor)/[A-Za-z0-9_-]+/"
        "[A-Za-z0-9_-]+/config$");
    const auto match = platformTopic.match(QString::fromStdString(topic));
    if (!match.hasMatch()) return {topic + ": not a discovery topic"};
    const QString platform = match.captured(1);
    const bool sensor = platform == "sensor";
    for (const QString& key : c.keys())
        if (!kCommonKeys.count(key) && !(sensor ? kSensorKeys : kBinarySensorKeys).count(key))
            fail("unknown key " + key);
    const QString state = c["state_topic"].toString();
    if (state.isEmpty() || state.contains('+') || state.contains('#')) fail("bad state_topic");
    if (!QRegularExpression("^" + platform + "\\.[a-z0-9_]+$")
             .match(c["default_entity_id"].toString())
             .hasMatch())
        fail("default_entity_id " + c["default_entity_id"].toString());
    for (const char* key : {"value_template", "last_reset_value_template"})
        if (c.contains(key) && !c[key].toString().contains("{{"))
            fail(QString(key) + " no template");
    if (!std::set<QString>{"all", "any", "latest"}.count(c["availability_mode"].toString()))
        fail("availability_mode");
    for (const QJsonValue& a : c["availability"].toArray())
        if (a.toObject()["topic"].toString().isEmpty()) fail("availability without topic");
    const QJsonObject device = c["device"].toObject();
    if (device["identifiers"].toArray().isEmpty() || device["name"].toString().isEmpty())
        fail("device without identifiers or name");
    const QString cls = c["device_class"].toString();
    if (!sensor) {
        if (!kBinarySensorClasses.count(cls)) fail("binary_sensor device_class " + cls);
        return out;
    }
    const auto known = kSensorClasses.find(cls);
    if (known == kSensorClasses.end()) {
        fail("sensor device_class " + cls);
        return out;
    }
    const QString unit = c["unit_of_measurement"].toString();
    if (known->second.units.empty() ? !QRegularExpression("^[A-Z]{3}$").match(unit).hasMatch()
                                    : !known->second.units.count(unit))
        fail("unit " + unit + " for " + cls);
    const QString stateClass = c["state_class"].toString();
    if (!known->second.stateClasses.count(stateClass)) fail("state_class " + stateClass);
    // A daily figure that starts again must say when, or its drop reads as negative use.
    if (c.contains("last_reset_value_template") != (stateClass == "total"))
        fail("last_reset_value_template goes with state_class total, and only with it");
    return out;
}

TEST(DiscoverySchema, EveryConfigTheProgramAnnouncesPassesHomeAssistantsSchema) {
    MqttSettings s;
    s.prefix = "tev3p";
    s.discoveryPrefix = "homeassistant";
    MeterEntry meter;
    meter.Id.assign("HOQ 00/00+#1");  // replaced characters and a hash in every name
    meter.Model.assign("HOQ-260");
    std::vector<DiscoveryMessage> all = discoveryMessages(s, meter);
    // The tariff's currency sign: the cost sensor's unit is its ISO code.
    for (DiscoveryMessage& m :
         alertDiscoveryMessages(s, "HOQ 00/00+#1", true, true, "\xE2\x82\xAC"))
        all.push_back(std::move(m));
    // The evening figures: the month's energy, its projected cost and the base load.
    for (DiscoveryMessage& m : eveningDiscoveryMessages(s, "HOQ 00/00+#1", true, "\xC2\xA3"))
        all.push_back(std::move(m));
    ASSERT_EQ(all.size(), 12u + 5u + 2u + 3u);
    std::set<std::string> uniqueIds, entityIds;
    for (const DiscoveryMessage& m : all) {
        EXPECT_EQ(faults(m.topic, m.payload), std::vector<std::string>{}) << m.payload;
        const QJsonObject c =
            QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
        EXPECT_TRUE(uniqueIds.insert(c["unique_id"].toString().toStdString()).second);
        EXPECT_TRUE(entityIds.insert(c["default_entity_id"].toString().toStdString()).second);
    }
    // The checker itself: each of these breaks one rule.
    const DiscoveryMessage& cost = all[all.size() - 5];
    const std::string good = cost.payload;
    auto broken = [&](const std::string& from, const std::string& to) {
        std::string p = good;
        p.replace(p.find(from), from.size(), to);
        return faults(cost.topic, p).size();
    };
    EXPECT_EQ(broken("\"state_class\":\"total\"", "\"state_class\":\"total_increasing\""), 2u);
    EXPECT_EQ(broken("\"unit_of_measurement\":\"EUR\"", "\"unit_of_measurement\":\"\xE2\x82\xAC\""),
              1u);
    EXPECT_EQ(broken("\"default_entity_id\"", "\"entity_id\""), 2u);
}

}  // namespace
}  // namespace tev::mqtt
