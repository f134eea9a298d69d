#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/meterlink/meter_names.h"

namespace tev::mqtt {

// Where and how the readings are published on an MQTT broker. Publishing is off while no host
// is set.
struct MqttSettings {
    std::string host;
    int port = 1883;
    bool tls = false;
    std::string user;
    std::string passwordFile;  // first line is the password; read when the client starts
    std::string prefix = "tev3p";
    std::string clientId;  // empty: the program picks one from the computer's name
    std::string discoveryPrefix = "homeassistant";
    int keepAliveSeconds = 30;
    // A broker that has not answered the connection by then is counted as unreachable.
    int handshakeTimeoutMs = 10000;
    // The meters' names ([meters] name.<ID>): a named meter's discovery device bears its name.
    MeterNames meterNames;

    bool enabled() const { return !host.empty(); }
};

// The keys of the [mqtt] group of tev3p.ini; the command-line options are the same keys with
// "--mqtt-" in front and "_" written as "-".
inline constexpr const char* kMqttKeys[] = {
    "host", "port", "tls", "user", "password_file", "prefix", "client_id", "discovery_prefix"};

// Settings from key/value texts. Each unknown key or unusable value adds a sentence to
// `problems` and leaves that setting at its default.
MqttSettings mqttSettingsFrom(const std::map<std::string, std::string>& keys,
                              std::vector<std::string>& problems);

// The first line of a password file, without its line end; `error` says why it could not be read.
std::string readPasswordFile(const std::string& path, std::string& error);

}  // namespace tev::mqtt
