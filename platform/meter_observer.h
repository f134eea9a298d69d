#pragma once

#include <string_view>

#include "store/meter_registry.h"

namespace tev {

// Told about the meter link as it happens, on the GUI thread; the MQTT publishing listens here.
// Calls must return at once: they run inside the handling of every meter message.
class MeterObserver {
  public:
    virtual ~MeterObserver() = default;
    // After each meter message; `meterId` is the ID the message carried (the link's current ID).
    virtual void meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) = 0;
    // The off-line alarm or the link switch forgot every meter.
    virtual void metersForgotten() = 0;
};

}  // namespace tev
