#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/ini_document.h"

namespace tev::alerts {

enum class AlertRule { Voltage, PhaseLoss, Current, Demand, Imbalance };
inline constexpr int kAlertRuleCount = 5;

// The rule's name in tev3p.ini, the MQTT alert JSON and the log ("voltage", "phase_loss", ...).
std::string_view alertRuleName(AlertRule rule);
// The rule of a name alertRuleName gives; nothing for any other text.
std::optional<AlertRule> alertRuleByName(std::string_view name);

// The thresholds of the five rules for one meter. The voltage and phase-loss rules judge
// against the supply's nominal voltage, which only the user knows (HOQ meters run on 110 V,
// 220 V and 230 V supplies): without it they are off.
struct AlertRules {
    std::optional<double> voltageNominal;
    double voltageBandPercent = 10;
    double voltageSeconds = 10;
    double phaseLossPercent = 50;
    double phaseLossSeconds = 2;
    std::optional<double> currentMax;  // amperes; the rule is off without a rating
    double currentSeconds = 5;
    std::optional<double> demandLimitKw;  // the primary meter only; off without a limit
    double demandMinutes = 15;
    double imbalancePercent = 30;
    double imbalanceSeconds = 60;
    double imbalanceMinAmps = 1;
    double hysteresisPercent = 2;
};

// A phase counts as live for the phase-loss rule above this share of nominal.
inline constexpr double kPhaseLiveFraction = 0.80;

// `[alerts]` for every meter, `[alerts.<meter id>]` over it key by key for one meter. No rule
// runs until the user asks: `enabled=true`, or a rule's key in one of the groups. The alert
// tone (`tone=on`) is off and the desktop notifications (`notify=off`) on unless set. The
// unusual-day alert (`unusual_day=on`, from the archive's hour rows) is off unless set, and
// apart from the rules: `enabled` does not switch it.
struct AlertConfig {
    bool enabled = false;
    bool tone = false;
    bool notify = true;
    bool unusualDay = false;
    AlertRules defaults;
    std::map<std::string, AlertRules, std::less<>> perMeter;

    const AlertRules& rulesFor(std::string_view meterId) const;
};

struct AlertConfigLoad {
    AlertConfig config;
    std::vector<ConfigProblem> problems;
};

// Reads `[alerts]` and every `[alerts.<id>]` group. A line with an unknown key or a value out
// of range is left out and listed in `problems` with its line; the rest still applies.
AlertConfigLoad loadAlertConfig(const IniDocument& ini);

}  // namespace tev::alerts
