#pragma once

#include <string>
#include <vector>

#include "services/mqtt/rules/mqtt_client.h"

namespace tev::testing {

// An MQTT client that records what it is handed and takes messages only while the test says
// it is connected and has room.
class FakeMqttClient final : public mqtt::MqttClient {
  public:
    void start(const mqtt::MqttSettings& s, const std::string& pw,
               const mqtt::Presence& p) override {
        started = true;
        settings = s;
        password = pw;
        presence = p;
    }
    bool publish(const std::string& topic, const std::string& payload, bool retain) override {
        if (!connected || room == 0) return false;
        if (room > 0) --room;
        sent.push_back({topic, payload, retain});
        return true;
    }
    std::vector<mqtt::ClientEvent> takeEvents() override {
        std::vector<mqtt::ClientEvent> out;
        out.swap(events);
        return out;
    }
    void stop() override { stopped = true; }

    void connect() {
        connected = true;
        events.push_back({mqtt::ClientEvent::Kind::Connected, {}});
    }
    void fail(mqtt::ClientEvent::Kind kind, std::string reason) {
        connected = false;
        events.push_back({kind, std::move(reason)});
    }

    struct Sent {
        std::string topic, payload;
        bool retain;
    };
    std::vector<Sent> sent;
    std::vector<mqtt::ClientEvent> events;
    bool connected = false;
    int room = -1;  // messages it still takes; -1 no limit
    bool started = false, stopped = false;
    mqtt::MqttSettings settings;
    std::string password;
    mqtt::Presence presence;
};

}  // namespace tev::testing
