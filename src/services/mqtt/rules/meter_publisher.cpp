#include "services/mqtt/rules/meter_publisher.h"

#include "services/mqtt/rules/meter_topics.h"

namespace tev::mqtt {

MeterPublisher::MeterPublisher(MqttSettings settings, MqttClient& client, LogSink log)
    : settings_(std::move(settings)),
      client_(client),
      log_(std::move(log)),
      queue_(kQueueCapacity) {}

void MeterPublisher::start() {
    if (started_) return;
    started_ = true;
    std::string password;
    if (!settings_.passwordFile.empty()) {
        std::string error;
        password = readPasswordFile(settings_.passwordFile, error);
        if (!error.empty()) log_("MQTT: " + error + "; connecting without a password");
    }
    log_("MQTT: publishing to " + settings_.host + ":" + std::to_string(settings_.port) +
         (settings_.tls ? " (TLS)" : "") + " under " + settings_.prefix + "/");
    client_.start(settings_, password, Presence{bridgeStatusTopic(settings_)});
}

void MeterPublisher::stop() {
    if (!started_) return;
    started_ = false;
    // The program stops cleanly: no meter is reported any longer, and the retained availability
    // says so instead of "online" for ever.
    allMetersOffline();
    flush();
    client_.stop();
}

void MeterPublisher::meterMessage(const MeterRegistry& registry, std::string_view meterId,
                                  bool withReadings) {
    if (meterId.empty()) return;
    auto it = meters_.find(std::string(meterId));
    if (it == meters_.end()) {
        // Only registered meters are published; polls from unknown IDs are not.
        if (registry.find(meterId) < 0) return;
        if (meters_.size() >= kMaxKnownMeters) {
            if (!tooManyReported_)
                log_("MQTT: more than 1000 meter IDs seen; new ones are not published");
            tooManyReported_ = true;
            return;
        }
        it = meters_.emplace(std::string(meterId), MeterState{}).first;
    }
    if (withReadings) it->second.hasReadings = true;
    if (!it->second.due) {
        it->second.due = true;
        dueIds_.push_back(it->first);
    }
}

void MeterPublisher::queueRetained(std::string topic, std::string payload) {
    queue_.put(std::move(topic), std::move(payload), true);
}

void MeterPublisher::allMetersOffline() {
    for (auto& [id, state] : meters_) {
        state.hasReadings = false;
        if (!state.online) continue;
        state.online = false;
        queue_.put(availabilityTopic(settings_, id), std::string(kOffline), true);
    }
}

void MeterPublisher::queueDiscovery(const MeterEntry& entry, MeterState& state) {
    for (DiscoveryMessage& m : discoveryMessages(settings_, entry))
        queue_.put(std::move(m.topic), std::move(m.payload), true);
    state.discovered = true;
}

void MeterPublisher::service(const MeterRegistry& registry, std::int64_t nowMs) {
    handleEvents();
    if (rediscover_) {
        rediscover_ = false;
        for (auto& [id, state] : meters_) {
            const int row = registry.find(id);
            if (row >= 0) queueDiscovery(registry.rows[static_cast<std::size_t>(row)], state);
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < dueIds_.size(); ++i) {
        const std::string& id = dueIds_[i];
        MeterState& state = meters_[id];
        if (state.lastStateMs >= 0 && nowMs - state.lastStateMs < kMinStateIntervalMs &&
            nowMs >= state.lastStateMs) {
            if (kept != i) dueIds_[kept] = id;
            ++kept;
            continue;
        }
        state.due = false;
        const int row = registry.find(id);
        if (row < 0) continue;
        const MeterEntry& entry = registry.rows[static_cast<std::size_t>(row)];
        if (!state.discovered) queueDiscovery(entry, state);
        if (!state.online) {
            state.online = true;
            queue_.put(availabilityTopic(settings_, id), std::string(kOnline), true);
        }
        // A meter known only from its device message has no readings to tell yet.
        if (!state.hasReadings) continue;
        queue_.put(stateTopic(settings_, id), meterStateJson(entry), false);
        state.lastStateMs = nowMs;
        ++counters_.statesQueued;
    }
    dueIds_.resize(kept);
    flush();
}

void MeterPublisher::handleEvents() {
    const std::string broker = settings_.host + ":" + std::to_string(settings_.port);
    for (const ClientEvent& e : client_.takeEvents()) {
        if (e.kind == ClientEvent::Kind::Connected) {
            if (link_ == Link::Down)
                log_("MQTT: broker " + broker + " reached again, publishing resumes");
            else if (link_ == Link::Starting)
                log_("MQTT: connected to broker " + broker);
            link_ = Link::Up;
            // The broker may have lost retained messages: discovery and availability again.
            for (auto& [id, state] : meters_) {
                state.discovered = false;
                queue_.put(availabilityTopic(settings_, id),
                           std::string(state.online ? kOnline : kOffline), true);
            }
            rediscover_ = true;
            continue;
        }
        if (e.kind == ClientEvent::Kind::Failed) {
            link_ = Link::Down;
            log_("MQTT: broker " + broker + " cannot be used: " + e.reason +
                 "; publishing is off until the program is started again");
            continue;
        }
        if (link_ == Link::Down) continue;
        link_ = Link::Down;
        const char* what = e.kind == ClientEvent::Kind::Refused ? "refused the connection"
                           : e.kind == ClientEvent::Kind::Lost  ? "connection lost"
                                                                : "cannot be reached";
        log_("MQTT: broker " + broker + " " + what + ": " + e.reason +
             "; retrying in the background, readings wait (newest kept)");
    }
}

void MeterPublisher::flush() {
    while (!queue_.empty()) {
        const OutgoingMessage& m = queue_.front();
        if (!client_.publish(m.topic, m.payload, m.retain)) break;
        queue_.popFront();
        ++counters_.published;
    }
}

}  // namespace tev::mqtt
