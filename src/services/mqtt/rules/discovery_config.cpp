#include "services/mqtt/rules/discovery_config.h"

#include <utility>

#include "core/texts/json_text.h"
#include "services/mqtt/rules/meter_topics.h"

namespace tev::mqtt {

DiscoveryConfig& DiscoveryConfig::text(std::string_view key, std::string_view value) {
    if (out_.size() > 1) out_ += ',';
    appendJsonString(out_, key);
    out_ += ':';
    appendJsonString(out_, value);
    return *this;
}

std::string DiscoveryConfig::finish(const MqttSettings& s, std::string_view meterId,
                                    std::string_view device, std::string_view model) {
    text("availability_mode", "all");
    out_ += ",\"availability\":[{\"topic\":";
    appendJsonString(out_, bridgeStatusTopic(s));
    out_ += "},{\"topic\":";
    appendJsonString(out_, availabilityTopic(s, meterId));
    out_ += "}],\"device\":{\"identifiers\":[";
    appendJsonString(out_, device);
    out_ += "],\"name\":";
    // A named meter's device is called by its name, the others by their ID.
    const auto named = s.meterNames.of(meterId);
    appendJsonString(out_, named ? std::string(*named) : "HOQ " + std::string(meterId));
    if (!model.empty()) {
        out_ += ",\"model\":";
        appendJsonString(out_, model);
    }
    out_ += ",\"manufacturer\":\"HOQ\"}}";
    return std::move(out_);
}

}  // namespace tev::mqtt
