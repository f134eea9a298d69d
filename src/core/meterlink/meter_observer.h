#pragma once

#include <algorithm>
#include <string_view>
#include <vector>

#include "core/store/meter_registry.h"

namespace tev {

// Told about the meter link as it happens, on the GUI thread; the services beside the window
// (MQTT publishing and the others) listen here. Calls must return at once: they run inside the
// handling of every meter message.
class MeterObserver {
  public:
    virtual ~MeterObserver() = default;
    // After each meter message; `meterId` is the ID the message carried (the link's current ID).
    virtual void meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) = 0;
    // After meterMessageHandled, for a data message whose readings were taken: the one call per
    // new reading. Polls, ADC reports and device messages repeat the meter's last readings.
    virtual void meterDataHandled(const MeterRegistry&, std::string_view) {}
    // The off-line alarm or the link switch forgot every meter.
    virtual void metersForgotten() = 0;
};

// Passes each call on to every observer added, in the order they were added, so the window
// holds one observer however many services listen.
class MeterObserverList final : public MeterObserver {
  public:
    void add(MeterObserver* observer) {
        if (observer != nullptr) observers_.push_back(observer);
    }
    void remove(MeterObserver* observer) {
        observers_.erase(std::remove(observers_.begin(), observers_.end(), observer),
                         observers_.end());
    }
    bool empty() const { return observers_.empty(); }

    void meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) override {
        for (MeterObserver* o : observers_) o->meterMessageHandled(registry, meterId);
    }
    void meterDataHandled(const MeterRegistry& registry, std::string_view meterId) override {
        for (MeterObserver* o : observers_) o->meterDataHandled(registry, meterId);
    }
    void metersForgotten() override {
        for (MeterObserver* o : observers_) o->metersForgotten();
    }

  private:
    std::vector<MeterObserver*> observers_;
};

}  // namespace tev
