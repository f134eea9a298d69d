#include "services/alerts/rules/alert_rules.h"

namespace tev {

namespace {

constexpr std::string_view kAlertsGroup = "alerts";
constexpr std::string_view kMeterGroupPrefix = "alerts.";
// A meter ID in the meter protocol is at most 12 characters.
constexpr std::size_t kMaxMeterIdLength = 12;

enum class Range { Positive, NonNegative, Percent };

struct KeyRule {
    std::string_view key;
    Range range;
    double AlertRules::*plain = nullptr;
    std::optional<double> AlertRules::*optional = nullptr;
};

constexpr KeyRule kKeys[] = {
    {"voltage_nominal", Range::Positive, &AlertRules::voltageNominal},
    {"voltage_band_percent", Range::Percent, &AlertRules::voltageBandPercent},
    {"voltage_seconds", Range::NonNegative, &AlertRules::voltageSeconds},
    {"phase_loss_percent", Range::Percent, &AlertRules::phaseLossPercent},
    {"phase_loss_seconds", Range::NonNegative, &AlertRules::phaseLossSeconds},
    {"current_max", Range::Positive, nullptr, &AlertRules::currentMax},
    {"current_seconds", Range::NonNegative, &AlertRules::currentSeconds},
    {"demand_limit_kw", Range::Positive, nullptr, &AlertRules::demandLimitKw},
    {"demand_minutes", Range::Positive, &AlertRules::demandMinutes},
    {"imbalance_percent", Range::Positive, &AlertRules::imbalancePercent},
    {"imbalance_seconds", Range::NonNegative, &AlertRules::imbalanceSeconds},
    {"imbalance_min_amps", Range::NonNegative, &AlertRules::imbalanceMinAmps},
    {"hysteresis_percent", Range::Percent, &AlertRules::hysteresisPercent},
};

// The longest demand window kept; a day of one-second samples of the primary meter.
constexpr double kMaxDemandMinutes = 24 * 60;

bool inRange(const KeyRule& rule, double v) {
    switch (rule.range) {
        case Range::Positive:
            return v > 0;
        case Range::NonNegative:
            return v >= 0;
        case Range::Percent:
            return v >= 0 && v < 100;
    }
    return false;
}

void applyGroup(const IniGroup& group, AlertRules& rules, std::vector<ConfigProblem>& problems) {
    for (const IniEntry& e : group.entries) {
        const KeyRule* rule = nullptr;
        for (const KeyRule& k : kKeys)
            if (k.key == e.key) rule = &k;
        const std::string where = e.key + "=" + e.value + ": ";
        if (rule == nullptr) {
            problems.push_back({e.line, where + "unknown alert key"});
            continue;
        }
        // An empty rating or limit switches that rule off again for the meter.
        if (rule->optional != nullptr && e.value.find_first_not_of(" \t") == std::string::npos) {
            (rules.*(rule->optional)).reset();
            continue;
        }
        double v = 0;
        if (!parseIniNumber(e.value, v)) {
            problems.push_back({e.line, where + "not a number"});
            continue;
        }
        if (!inRange(*rule, v) ||
            (rule->plain == &AlertRules::demandMinutes && v > kMaxDemandMinutes)) {
            problems.push_back({e.line, where + "out of range"});
            continue;
        }
        if (rule->plain != nullptr)
            rules.*(rule->plain) = v;
        else
            rules.*(rule->optional) = v;
    }
}

}  // namespace

std::optional<AlertRule> alertRuleByName(std::string_view name) {
    for (int i = 0; i < kAlertRuleCount; ++i)
        if (alertRuleName(static_cast<AlertRule>(i)) == name) return static_cast<AlertRule>(i);
    return std::nullopt;
}

std::string_view alertRuleName(AlertRule rule) {
    switch (rule) {
        case AlertRule::Voltage:
            return "voltage";
        case AlertRule::PhaseLoss:
            return "phase_loss";
        case AlertRule::Current:
            return "current";
        case AlertRule::Demand:
            return "demand";
        case AlertRule::Imbalance:
            return "imbalance";
    }
    return "";
}

const AlertRules& AlertConfig::rulesFor(std::string_view meterId) const {
    const auto it = perMeter.find(meterId);
    return it == perMeter.end() ? defaults : it->second;
}

AlertConfigLoad loadAlertConfig(const IniDocument& ini) {
    AlertConfigLoad out;
    for (const IniGroup* g : ini.find(kAlertsGroup))
        applyGroup(*g, out.config.defaults, out.problems);
    for (const IniGroup& g : ini.groups()) {
        if (!g.name.starts_with(kMeterGroupPrefix)) continue;
        const std::string id = g.name.substr(kMeterGroupPrefix.size());
        if (id.empty() || id.size() > kMaxMeterIdLength) {
            out.problems.push_back({g.line, "[" + g.name + "]: not a meter ID"});
            continue;
        }
        auto [it, added] = out.config.perMeter.try_emplace(id, out.config.defaults);
        applyGroup(g, it->second, out.problems);
    }
    return out;
}

}  // namespace tev
