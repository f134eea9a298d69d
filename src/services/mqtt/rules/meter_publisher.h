#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/store/meter_registry.h"
#include "services/mqtt/rules/mqtt_client.h"
#include "services/mqtt/rules/mqtt_settings.h"
#include "services/mqtt/rules/publish_queue.h"

namespace tev::mqtt {

// What the publisher has done, for tests and benchmarks.
struct PublisherCounters {
    std::uint64_t statesQueued = 0;
    std::uint64_t published = 0;
};

// Publishes the registered meters on an MQTT broker: each meter's state as JSON at most once a
// second (the newest values at that moment), Home Assistant discovery configs for each meter
// (retained, again after every reconnect, since the broker may have forgotten them), and each
// meter's availability ("online" while it reports, "offline" after the off-line alarm).
//
// A meter message only marks its meter; the JSON is built and sent from service(), which the
// program calls a few times a second. Everything waits in a bounded PublishQueue until the
// client takes it, so a broker that is away or slow costs neither time nor growing memory.
// Connection trouble is logged once per outage, the recovery once.
class MeterPublisher {
  public:
    using LogSink = std::function<void(const std::string& line)>;

    static constexpr std::int64_t kMinStateIntervalMs = 1000;
    // Meters known by ID; a registry holds 200, the rest is for IDs that come and go.
    static constexpr std::size_t kMaxKnownMeters = 1000;
    // Topics waiting for the broker: every state, availability and discovery topic of 200
    // meters fits.
    static constexpr std::size_t kQueueCapacity = 4096;

    MeterPublisher(MqttSettings settings, MqttClient& client, LogSink log);

    // Starts the client with the password from the password file (a problem reading it is
    // logged, and the client connects without a password).
    void start();
    void stop();

    // After each meter message: the meter with this ID (the registry's) has news. Cheap.
    // `withReadings`: a data message put this meter's own readings in its row. Until one has
    // since the meter was registered (or came back from the off-line alarm, perhaps into a row
    // that still holds another meter's readings), only its availability is published.
    void meterMessage(const MeterRegistry& registry, std::string_view meterId,
                      bool withReadings = true);
    // The off-line alarm or the link switch forgot every meter: each one published "online"
    // becomes "offline".
    void allMetersOffline();
    // A retained message of a service beside the meters (the alerts), sent in turn with theirs.
    void queueRetained(std::string topic, std::string payload);

    // Reads the client's events, queues the states that are due and hands the queue to the
    // client as far as it takes it.
    void service(const MeterRegistry& registry, std::int64_t nowMs);

    const PublishQueue& queue() const { return queue_; }
    const PublisherCounters& counters() const { return counters_; }
    bool connected() const { return link_ == Link::Up; }
    std::size_t knownMeters() const { return meters_.size(); }

  private:
    struct MeterState {
        std::int64_t lastStateMs = -1;
        bool due = false;
        bool online = false;
        bool discovered = false;   // discovery queued since the last connect
        bool hasReadings = false;  // a data message since it was last forgotten
    };
    enum class Link { Starting, Up, Down };

    void handleEvents();
    void queueDiscovery(const MeterEntry& entry, MeterState& state);
    void flush();

    MqttSettings settings_;
    MqttClient& client_;
    LogSink log_;
    PublishQueue queue_;
    std::unordered_map<std::string, MeterState> meters_;
    std::vector<std::string> dueIds_;
    Link link_ = Link::Starting;
    bool tooManyReported_ = false;
    bool rediscover_ = false;  // connected again: discovery of every registered meter
    bool started_ = false;
    PublisherCounters counters_;
};

}  // namespace tev::mqtt
