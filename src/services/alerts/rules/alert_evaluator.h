#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "services/alerts/rules/alert_rules.h"

namespace tev::alerts {

// The values of one meter data message that the rules look at.
struct AlertSample {
    std::int64_t timeMs = 0;  // when the message was handled, milliseconds since the epoch
    std::array<float, 3> volts{};
    std::array<float, 3> amps{};
    float watt = 0;
};

// An alert starting or ending. `phase` is 1..3 for the per-phase rules, 0 otherwise.
struct AlertEvent {
    std::string meterId;
    AlertRule rule = AlertRule::Voltage;
    int phase = 0;
    bool started = true;
    std::int64_t timeMs = 0;
    double value = 0;      // the value that started or ended it (V, A, kW or %)
    double threshold = 0;  // the threshold it crossed
};

struct ActiveAlert {
    AlertRule rule = AlertRule::Voltage;
    int phase = 0;
    std::int64_t sinceMs = 0;
    double value = 0;  // the latest value
    double threshold = 0;
};

// Holds a condition until it has lasted the rule's minimum time, and an alert until the value
// is back past the threshold by the hysteresis margin: a value sitting on the threshold raises
// one alert, not one per message.
struct AlertTrigger {
    enum class State : std::uint8_t { Idle, Pending, Active };
    State state = State::Idle;
    std::int64_t sinceMs = 0;
    double value = 0;
    double threshold = 0;
    // The last value past the threshold: an alert starts with the value that crossed its
    // limit, not with a later one back inside the limit but not yet clear of the hysteresis.
    double overValue = 0;

    // `over`: past the threshold; `clear`: back past it by the hysteresis margin. Between the
    // two the state stays as it is. Returns +1 when the alert starts, -1 when it ends.
    int step(bool over, bool clear, std::int64_t timeMs, std::int64_t minMs, double value,
             double threshold);
};

// Runs the five rules over every meter's data messages and reports starts and ends.
class AlertEvaluator {
  public:
    explicit AlertEvaluator(AlertConfig config = {});
    ~AlertEvaluator();

    // New rules apply from the next message; running alerts end (appended to `events`).
    void setConfig(AlertConfig config, std::int64_t timeMs, std::vector<AlertEvent>& events);
    const AlertConfig& config() const { return config_; }

    // One data message of `meterId`; `primary` is true for the primary meter, the only one
    // the demand rule watches. Appends the alerts that start or end.
    void evaluate(std::string_view meterId, bool primary, const AlertSample& sample,
                  std::vector<AlertEvent>& events);

    // The link forgot every meter: every running alert ends.
    void forgetAll(std::int64_t timeMs, std::vector<AlertEvent>& events);

    std::vector<ActiveAlert> active(std::string_view meterId) const;
    bool anyActive() const { return activeCount_ > 0; }
    int activeCount() const { return activeCount_; }

    struct MeterState;

  private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    AlertConfig config_;
    std::unordered_map<std::string, std::unique_ptr<MeterState>, Hash, std::equal_to<>> meters_;
    int activeCount_ = 0;

    void endAll(std::int64_t timeMs, std::vector<AlertEvent>& events);
};

}  // namespace tev::alerts
