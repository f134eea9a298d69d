#include "services/alerts/rules/alert_rules.h"

#include "core/meterlink/message_fields.h"

namespace tev::alerts {

namespace {

constexpr std::string_view kAlertsGroup = "alerts";
constexpr std::string_view kMeterGroupPrefix = "alerts.";
// A meter ID in the meter protocol is 12 characters.
constexpr std::size_t kMeterIdLength = 12;

enum class Range { Positive, NonNegative, Percent };

struct KeyRule {
    std::string_view key;
    Range range;
    double AlertRules::*plain = nullptr;
    std::optional<double> AlertRules::*optional = nullptr;
};

constexpr KeyRule kKeys[] = {
    {"voltage_nominal", Range::Positive, nullptr, &AlertRules::voltageNominal},
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

// The switches of the whole alerts service, in [alerts] only.
struct Switches {
    std::optional<bool> enabled, tone, notify, unusualDay;
};

std::optional<bool> parseSwitch(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    for (std::string_view on : {"on", "true", "yes", "1"})
        if (text == on) return true;
    for (std::string_view off : {"off", "false", "no", "0"})
        if (text == off) return false;
    return std::nullopt;
}

// True when the line was one of the switches (told as a problem where it does not belong).
bool applySwitch(const IniEntry& e, Switches* switches, std::vector<ConfigProblem>& problems) {
    std::optional<bool> Switches::*field = nullptr;
    if (e.key == "enabled") field = &Switches::enabled;
    if (e.key == "tone") field = &Switches::tone;
    if (e.key == "notify") field = &Switches::notify;
    if (e.key == "unusual_day") field = &Switches::unusualDay;
    if (field == nullptr) return false;
    const std::string where = e.key + "=" + e.value + ": ";
    if (switches == nullptr) {
        problems.push_back({e.line, where + "only in [alerts]"});
    } else if (const auto v = parseSwitch(e.value)) {
        switches->*field = *v;
    } else {
        problems.push_back({e.line, where + "not on or off"});
    }
    return true;
}

// Applies a group's rule lines; true when it named at least one rule's key.
bool applyGroup(const IniGroup& group, AlertRules& rules, Switches* switches,
                std::vector<ConfigProblem>& problems) {
    bool namedRule = false;
    for (const IniEntry& e : group.entries) {
        if (applySwitch(e, switches, problems)) continue;
        const KeyRule* rule = nullptr;
        for (const KeyRule& k : kKeys)
            if (k.key == e.key) rule = &k;
        const std::string where = e.key + "=" + e.value + ": ";
        if (rule == nullptr) {
            problems.push_back({e.line, where + "unknown alert key"});
            continue;
        }
        namedRule = true;
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
    return namedRule;
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
    Switches switches;
    bool namedRule = false;
    int firstLine = 0;
    for (const IniGroup* g : ini.find(kAlertsGroup)) {
        namedRule = applyGroup(*g, out.config.defaults, &switches, out.problems) || namedRule;
        if (firstLine == 0) firstLine = g->line;
    }
    bool anyNominal = out.config.defaults.voltageNominal.has_value();
    for (const IniGroup& g : ini.groups()) {
        if (!g.name.starts_with(kMeterGroupPrefix)) continue;
        const std::string id = g.name.substr(kMeterGroupPrefix.size());
        if (id.size() != kMeterIdLength || !isStorableMeterId(id)) {
            out.problems.push_back(
                {g.line, "[" + g.name + "]: not a meter ID (12 printable characters)"});
            continue;
        }
        auto [it, added] = out.config.perMeter.try_emplace(id, out.config.defaults);
        namedRule = applyGroup(g, it->second, nullptr, out.problems) || namedRule;
        anyNominal = anyNominal || it->second.voltageNominal.has_value();
        if (firstLine == 0) firstLine = g.line;
    }
    out.config.enabled = switches.enabled.value_or(namedRule);
    out.config.tone = switches.tone.value_or(false);
    out.config.notify = switches.notify.value_or(true);
    out.config.unusualDay = switches.unusualDay.value_or(false);
    if (out.config.enabled && !anyNominal)
        out.problems.push_back(
            {firstLine, "voltage_nominal is not set: the voltage and phase-loss rules are off"});
    return out;
}

}  // namespace tev::alerts
