#include "services/mqtt/rules/mqtt_settings.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>

namespace tev::mqtt {
namespace {

constexpr int kMaxPort = 65535;
constexpr std::size_t kMaxPasswordBytes = 4096;
// An MQTT string (client id, user name, topic) holds at most this many bytes.
constexpr std::size_t kMaxMqttString = 65535;
// Room left in a topic for the meter's name and the rest of the topic after a prefix.
constexpr std::size_t kMaxPrefixBytes = kMaxMqttString - 256;

bool isTrue(const std::string& v, bool& out) {
    std::string l = v;
    std::transform(l.begin(), l.end(), l.begin(), [](unsigned char c) { return std::tolower(c); });
    if (l == "1" || l == "true" || l == "on" || l == "yes") return out = true, true;
    if (l == "0" || l == "false" || l == "off" || l == "no" || l.empty()) return out = false, true;
    return false;
}

// A topic level may not hold the MQTT wildcards, and the prefix may not be empty.
bool usableTopicPrefix(const std::string& p) {
    return !p.empty() && p.size() <= kMaxPrefixBytes &&
           p.find_first_of("+#") == std::string::npos && p.front() != '/' && p.back() != '/';
}

}  // namespace

MqttSettings mqttSettingsFrom(const std::map<std::string, std::string>& keys,
                              std::vector<std::string>& problems) {
    MqttSettings s;
    for (const auto& [key, value] : keys) {
        if (key == "host") {
            s.host = value;
        } else if (key == "port") {
            int port = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
            if (ec != std::errc() || end != value.data() + value.size() || port < 1 ||
                port > kMaxPort)
                problems.push_back("MQTT port \"" + value + "\" is not a port number 1 … 65535");
            else
                s.port = port;
        } else if (key == "tls") {
            if (!isTrue(value, s.tls))
                problems.push_back("MQTT tls \"" + value + "\" is neither on nor off");
        } else if (key == "user") {
            if (value.size() <= kMaxMqttString)
                s.user = value;
            else
                problems.push_back("MQTT user is " + std::to_string(value.size()) +
                                   " bytes long; MQTT allows at most 65535");
        } else if (key == "password_file") {
            s.passwordFile = value;
        } else if (key == "prefix") {
            if (usableTopicPrefix(value))
                s.prefix = value;
            else
                problems.push_back(
                    "MQTT prefix \"" + value +
                    "\" is not a usable topic prefix (empty, too long, or holds + or #)");
        } else if (key == "client_id") {
            if (value.size() <= kMaxMqttString)
                s.clientId = value;
            else
                problems.push_back("MQTT client_id is " + std::to_string(value.size()) +
                                   " bytes long; MQTT allows at most 65535");
        } else if (key == "discovery_prefix") {
            if (usableTopicPrefix(value))
                s.discoveryPrefix = value;
            else
                problems.push_back("MQTT discovery_prefix \"" + value +
                                   "\" is not a usable topic prefix");
        } else {
            problems.push_back("MQTT setting \"" + key + "\" is unknown");
        }
    }
    return s;
}

std::string readPasswordFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the password file " + path + ": " + std::strerror(errno);
        return {};
    }
    std::string line;
    line.resize(kMaxPasswordBytes);
    in.read(line.data(), static_cast<std::streamsize>(line.size()));
    line.resize(static_cast<std::size_t>(in.gcount()));
    const auto end = line.find_first_of("\r\n");
    if (end != std::string::npos) line.resize(end);
    return line;
}

}  // namespace tev::mqtt
