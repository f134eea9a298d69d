#pragma once

#include <string>
#include <string_view>

#include "services/mqtt/rules/mqtt_settings.h"

namespace tev::mqtt {

// One Home Assistant discovery config, the same for every entity of a meter's device (its
// sensors, its alert binary sensors and its cost sensor): the entity's own fields in the order
// they are added, then the availability (the bridge's status and the meter's availability,
// both required) and the device the entity belongs to.
class DiscoveryConfig {
  public:
    // "key":"value", the value written as a JSON string.
    DiscoveryConfig& text(std::string_view key, std::string_view value);

    // The whole config. `device` is tev3p_<meter>; an empty `model` is left out.
    std::string finish(const MqttSettings& s, std::string_view meterId, std::string_view device,
                       std::string_view model = {});

  private:
    std::string out_ = "{";
};

}  // namespace tev::mqtt
