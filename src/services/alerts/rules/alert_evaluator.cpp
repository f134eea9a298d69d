#include "services/alerts/rules/alert_evaluator.h"

#include <algorithm>
#include <optional>

#include "core/meterlink/phase_imbalance.h"

namespace tev::alerts {

namespace {

constexpr double kMsPerSecond = 1000;
constexpr double kMsPerMinute = 60 * kMsPerSecond;
constexpr double kWattsPerKilowatt = 1000;
constexpr double kPercent = 100;
constexpr int kPhases = 3;

std::int64_t toMs(double seconds) {
    return static_cast<std::int64_t>(seconds * kMsPerSecond);
}

// The primary meter's recent Watt readings for the demand rule, with their running sum.
struct DemandWindow {
    std::deque<std::pair<std::int64_t, double>> samples;
    double sum = 0;
    std::int64_t firstMs = 0;  // start of the unbroken run of samples

    void reset() {
        samples.clear();
        sum = 0;
    }
    // The mean once the samples cover the whole window, or a negative value before.
    double add(std::int64_t timeMs, double watt, std::int64_t windowMs) {
        if (!samples.empty() &&
            (timeMs < samples.back().first || timeMs - samples.back().first > windowMs))
            reset();  // the clock went back, or the meter was silent for a whole window
        if (samples.empty()) firstMs = timeMs;
        samples.emplace_back(timeMs, watt);
        sum += watt;
        while (samples.front().first <= timeMs - windowMs) {
            sum -= samples.front().second;
            samples.pop_front();
        }
        if (timeMs - firstMs < windowMs) return -1;
        return sum / static_cast<double>(samples.size());
    }
};

}  // namespace

// Limits are worked out once per meter so that a message costs only comparisons.
struct AlertEvaluator::MeterState {
    std::string id;
    double h = 0;  // hysteresis as a fraction
    double voltLow = 0, voltHigh = 0, deadLevel = 0, liveLevel = 0;
    std::int64_t voltMs = 0, lossMs = 0, currentMs = 0, imbalanceMs = 0, demandWindowMs = 0;
    bool voltageOn = false, currentOn = false, demandOn = false;
    double currentMax = 0, demandLimitKw = 0;
    double imbalancePercent = 0, imbalanceMinAmps = 0;

    std::array<bool, kPhases> everLive{};
    std::array<AlertTrigger, kPhases> voltage{}, loss{}, current{};
    AlertTrigger imbalance, demand;
    DemandWindow window;

    MeterState(std::string meterId, const AlertRules& r) : id(std::move(meterId)) {
        h = r.hysteresisPercent / kPercent;
        voltageOn = r.voltageNominal.has_value();
        const double nominal = r.voltageNominal.value_or(0);
        voltLow = nominal * (1 - r.voltageBandPercent / kPercent);
        voltHigh = nominal * (1 + r.voltageBandPercent / kPercent);
        deadLevel = nominal * r.phaseLossPercent / kPercent;
        liveLevel = nominal * kPhaseLiveFraction;
        voltMs = toMs(r.voltageSeconds);
        lossMs = toMs(r.phaseLossSeconds);
        currentMs = toMs(r.currentSeconds);
        imbalanceMs = toMs(r.imbalanceSeconds);
        demandWindowMs = static_cast<std::int64_t>(r.demandMinutes * kMsPerMinute);
        currentOn = r.currentMax.has_value();
        currentMax = r.currentMax.value_or(0);
        demandOn = r.demandLimitKw.has_value();
        demandLimitKw = r.demandLimitKw.value_or(0);
        imbalancePercent = r.imbalancePercent;
        imbalanceMinAmps = r.imbalanceMinAmps;
    }

    template <typename F>
    void forEachTrigger(F f) {
        for (int p = 0; p < kPhases; ++p) {
            f(voltage[p], AlertRule::Voltage, p + 1);
            f(loss[p], AlertRule::PhaseLoss, p + 1);
            f(current[p], AlertRule::Current, p + 1);
        }
        f(demand, AlertRule::Demand, 0);
        f(imbalance, AlertRule::Imbalance, 0);
    }
};

int AlertTrigger::step(bool over, bool clear, std::int64_t timeMs, std::int64_t minMs,
                       double newValue, double newThreshold) {
    value = newValue;
    if (over) overValue = newValue;
    switch (state) {
        case State::Idle:
            if (!over) return 0;
            state = State::Pending;
            sinceMs = timeMs;
            threshold = newThreshold;
            [[fallthrough]];
        case State::Pending:
            if (clear) {
                state = State::Idle;
                return 0;
            }
            if (timeMs - sinceMs < minMs) return 0;
            state = State::Active;
            sinceMs = timeMs;
            value = overValue;
            return 1;
        case State::Active:
            if (!clear) return 0;
            state = State::Idle;
            return -1;
    }
    return 0;
}

AlertEvaluator::AlertEvaluator(AlertConfig config) : config_(std::move(config)) {}
AlertEvaluator::~AlertEvaluator() = default;

void AlertEvaluator::setConfig(AlertConfig config, std::int64_t timeMs,
                               std::vector<AlertEvent>& events) {
    endAll(timeMs, events);
    meters_.clear();
    config_ = std::move(config);
}

void AlertEvaluator::evaluate(std::string_view meterId, bool primary, const AlertSample& s,
                              std::vector<AlertEvent>& events) {
    if (!config_.enabled) return;
    auto it = meters_.find(meterId);
    if (it == meters_.end()) {
        std::string id(meterId);
        auto state = std::make_unique<MeterState>(id, config_.rulesFor(meterId));
        it = meters_.emplace(std::move(id), std::move(state)).first;
    }
    MeterState& m = *it->second;
    const std::int64_t t = s.timeMs;
    auto report = [&](AlertTrigger& trig, int change, AlertRule rule, int phase) {
        if (change == 0) return;
        activeCount_ += change;
        events.push_back(AlertEvent{m.id, rule, phase, change > 0, t, trig.value, trig.threshold});
    };

    for (int p = 0; p < kPhases && m.voltageOn; ++p) {
        const double v = s.volts[p];
        if (v > m.liveLevel) m.everLive[p] = true;
        double otherMax = 0;
        for (int q = 0; q < kPhases; ++q)
            if (q != p) otherMax = std::max(otherMax, static_cast<double>(s.volts[q]));

        // A dead phase is a phase loss, not a low voltage.
        const bool dead = v < m.deadLevel;
        const bool vOver = v > m.voltHigh || (v < m.voltLow && !dead);
        const bool vClear = dead || (v < m.voltHigh * (1 - m.h) && v > m.voltLow * (1 + m.h));
        const double vThreshold = v > m.voltHigh ? m.voltHigh : m.voltLow;
        report(m.voltage[p], m.voltage[p].step(vOver, vClear, t, m.voltMs, v, vThreshold),
               AlertRule::Voltage, p + 1);

        // A phase that was never live (a single-phase meter's spare inputs) cannot be lost.
        const bool lOver = m.everLive[p] && dead && otherMax > m.liveLevel;
        const bool lClear = v > m.deadLevel * (1 + m.h) || otherMax < m.liveLevel * (1 - m.h);
        report(m.loss[p], m.loss[p].step(lOver, lClear, t, m.lossMs, v, m.deadLevel),
               AlertRule::PhaseLoss, p + 1);
    }
    for (int p = 0; p < kPhases && m.currentOn; ++p) {
        const double a = s.amps[p];
        report(m.current[p],
               m.current[p].step(a > m.currentMax, a < m.currentMax * (1 - m.h), t, m.currentMs, a,
                                 m.currentMax),
               AlertRule::Current, p + 1);
    }

    // Judged only while the mean current is above the floor: below it a pending start is
    // dropped and a running alert holds, so that a load switching off neither ends the alert at
    // an imbalance still over its limit nor starts it again when the load comes back.
    const std::optional<double> ratio =
        phaseImbalancePercent({s.amps[0], s.amps[1], s.amps[2]}, m.imbalanceMinAmps);
    if (ratio) {
        report(
            m.imbalance,
            m.imbalance.step(*ratio > m.imbalancePercent, *ratio < m.imbalancePercent * (1 - m.h),
                             t, m.imbalanceMs, *ratio, m.imbalancePercent),
            AlertRule::Imbalance, 0);
    } else if (m.imbalance.state == AlertTrigger::State::Pending) {
        m.imbalance.state = AlertTrigger::State::Idle;
    }

    if (primary && m.demandOn) {
        const double meanW = m.window.add(t, s.watt, m.demandWindowMs);
        if (meanW >= 0) {
            const double kw = meanW / kWattsPerKilowatt;
            report(m.demand,
                   m.demand.step(kw > m.demandLimitKw, kw < m.demandLimitKw * (1 - m.h), t, 0, kw,
                                 m.demandLimitKw),
                   AlertRule::Demand, 0);
        }
    }
}

void AlertEvaluator::endAll(std::int64_t timeMs, std::vector<AlertEvent>& events) {
    for (auto& entry : meters_) {
        const auto& id = entry.first;
        entry.second->forEachTrigger([&](AlertTrigger& trig, AlertRule rule, int phase) {
            if (trig.state == AlertTrigger::State::Active)
                events.push_back(
                    AlertEvent{id, rule, phase, false, timeMs, trig.value, trig.threshold});
            trig = AlertTrigger{};
        });
    }
    activeCount_ = 0;
}

void AlertEvaluator::forgetAll(std::int64_t timeMs, std::vector<AlertEvent>& events) {
    endAll(timeMs, events);
    meters_.clear();
}

std::vector<ActiveAlert> AlertEvaluator::active(std::string_view meterId) const {
    std::vector<ActiveAlert> out;
    const auto it = meters_.find(meterId);
    if (it == meters_.end()) return out;
    it->second->forEachTrigger([&](AlertTrigger& trig, AlertRule rule, int phase) {
        if (trig.state == AlertTrigger::State::Active)
            out.push_back(ActiveAlert{rule, phase, trig.sinceMs, trig.value, trig.threshold});
    });
    return out;
}

}  // namespace tev::alerts
