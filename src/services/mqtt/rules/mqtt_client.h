#pragma once

#include <string>
#include <vector>

#include "services/mqtt/rules/mqtt_settings.h"

namespace tev::mqtt {

// What happened on the broker connection since the last look.
struct ClientEvent {
    enum class Kind {
        Connected,    // the broker accepted the connection
        Refused,      // the broker answered and refused (wrong credentials, bad client id)
        Unreachable,  // no connection could be made (host down, port closed, TLS failed)
        Lost,         // an accepted connection ended
        Failed,       // the connection cannot be made with these settings; no retry follows
    };
    Kind kind;
    std::string reason;
};

// The retained presence of the program: `online` once connected, `offline` as the last will the
// broker publishes when the connection dies without a goodbye, and on a clean stop.
struct Presence {
    std::string topic;
    std::string online = "online";
    std::string offline = "offline";
};

// A connection to an MQTT broker that connects, reconnects and sends in the background. No call
// waits on the network: publish() hands a message over or says it cannot take one now.
class MqttClient {
  public:
    virtual ~MqttClient() = default;
    // Starts connecting in the background with the given password (read by the caller).
    virtual void start(const MqttSettings& settings, const std::string& password,
                       const Presence& presence) = 0;
    // Hands a message over for sending. False when not connected or when the messages already
    // handed over and not yet written reach the client's limit; the caller keeps it.
    virtual bool publish(const std::string& topic, const std::string& payload, bool retain) = 0;
    // Events since the last call, oldest first.
    virtual std::vector<ClientEvent> takeEvents() = 0;
    // Says goodbye (presence offline) and ends the connection; waits a bounded time.
    virtual void stop() = 0;
};

}  // namespace tev::mqtt
