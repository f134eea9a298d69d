#include "services/web/rules/metrics_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/texts/json_text.h"

namespace tev::web {
namespace {

void family(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// A label value: backslash, double quote and line feed escaped as the exposition format asks;
// other control bytes dropped and bytes that are not UTF-8 replaced.
void appendLabelValue(std::string& out, std::string_view value) {
    out += '"';
    for (const char c : validUtf8(value)) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) >= 0x20) {
            out += c;
        }
    }
    out += '"';
}

void appendValue(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "NaN";
        return;
    }
    if (std::isinf(v)) {
        out += v > 0 ? "+Inf" : "-Inf";
        return;
    }
    char buffer[32];
    // A reading kept as a float is written as the float reads (228.8, not 228.8000030517578).
    const auto asFloat = static_cast<float>(v);
    if (static_cast<double>(asFloat) == v && std::trunc(v) != v) {
        const auto f = std::to_chars(buffer, buffer + sizeof buffer, asFloat);
        out.append(buffer, f.ptr);
        return;
    }
    // Whole numbers (timestamps, counts) in full rather than as 1.796e+09.
    constexpr double kExactIntegerLimit = 9007199254740992.0;
    const auto r = std::trunc(v) == v && std::fabs(v) < kExactIntegerLimit
                       ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(v))
                       : std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, r.ptr);
}

// A named meter's series carry its name ([meters] name.<ID>) in a label beside its ID.
void sample(std::string& out, const MeterNames& names, std::string_view name,
            std::string_view meter, std::string_view phase, double value) {
    out += name;
    out += "{meter=";
    appendLabelValue(out, meter);
    if (const auto meterName = names.of(meter)) {
        out += ",name=";
        appendLabelValue(out, *meterName);
    }
    if (!phase.empty()) {
        out += ",phase=\"";
        out += phase;
        out += '"';
    }
    out += "} ";
    appendValue(out, value);
    out += '\n';
}

void plain(std::string& out, std::string_view name, double value) {
    out += name;
    out += ' ';
    appendValue(out, value);
    out += '\n';
}

}  // namespace

std::string metricsText(const MeasurementStore& store, const ServiceStatus& status) {
    const MeterRegistry& reg = store.registry;
    const int count = std::clamp<int>(reg.MeterCount, 0, kMeterRegistryCapacity);
    std::string out;
    out.reserve(2048 + static_cast<std::size_t>(count) * 900);
    static constexpr std::string_view kPhases[3] = {"1", "2", "3"};
    // A row the meter took over keeps the readings of the meter before it until the meter's own
    // first data message: until then its reading series are absent.
    auto noReadings = [&status](const MeterEntry& m) {
        return status.noReadingsYet.contains(m.Id.view());
    };

    family(out, "tev3p_voltage_volts", "gauge", "Voltage of each phase of each meter.");
    for (int i = 0; i < count; ++i) {
        const MeterEntry& m = reg.rows[i];
        if (noReadings(m)) continue;
        const float v[3] = {m.V1, m.V2, m.V3};
        for (int p = 0; p < 3; ++p)
            sample(out, status.names, "tev3p_voltage_volts", m.Id.view(), kPhases[p], v[p]);
    }
    family(out, "tev3p_current_amperes", "gauge", "Current of each phase of each meter.");
    for (int i = 0; i < count; ++i) {
        const MeterEntry& m = reg.rows[i];
        if (noReadings(m)) continue;
        const float a[3] = {m.A1, m.A2, m.A3};
        for (int p = 0; p < 3; ++p)
            sample(out, status.names, "tev3p_current_amperes", m.Id.view(), kPhases[p], a[p]);
    }
    family(out, "tev3p_power_watts", "gauge",
           "Power of each phase of each meter (voltage x current x 0.86).");
    for (int i = 0; i < count; ++i) {
        const MeterEntry& m = reg.rows[i];
        if (noReadings(m)) continue;
        const float w[3] = {m.V1 * m.A1 * kPowerFactor, m.V2 * m.A2 * kPowerFactor,
                            m.V3 * m.A3 * kPowerFactor};
        for (int p = 0; p < 3; ++p)
            sample(out, status.names, "tev3p_power_watts", m.Id.view(), kPhases[p], w[p]);
    }
    // The total is a family of its own so that summing tev3p_power_watts never counts twice.
    family(out, "tev3p_power_total_watts", "gauge", "Power of the three phases of each meter.");
    for (int i = 0; i < count; ++i) {
        const MeterEntry& m = reg.rows[i];
        if (noReadings(m)) continue;
        sample(out, status.names, "tev3p_power_total_watts", m.Id.view(), {},
               (m.V1 * m.A1 + m.V2 * m.A2 + m.V3 * m.A3) * kPowerFactor);
    }
    family(out, "tev3p_meter_energy_today_kwh", "gauge", "The meter's own energy count of today.");
    for (int i = 0; i < count; ++i)
        if (!noReadings(reg.rows[i]))
            sample(out, status.names, "tev3p_meter_energy_today_kwh", reg.rows[i].Id.view(), {},
                   reg.rows[i].Energy[0]);
    family(out, "tev3p_meter_last_message_timestamp_seconds", "gauge",
           "Unix time of the last message handled from each meter.");
    for (int i = 0; i < count; ++i) {
        const auto seen = status.lastMessage.find(reg.rows[i].Id.view());
        if (seen != status.lastMessage.end())
            sample(out, status.names, "tev3p_meter_last_message_timestamp_seconds",
                   reg.rows[i].Id.view(), {}, static_cast<double>(seen->second));
    }
    family(out, "tev3p_energy_kwh_total", "counter",
           "Energy integrated by the program over its lifetime (the total account).");
    plain(out, "tev3p_energy_kwh_total", store.live.TotalKWh);
    family(out, "tev3p_meters_registered", "gauge", "Meters in the registry.");
    plain(out, "tev3p_meters_registered", count);
    family(out, "tev3p_link_on", "gauge", "1 while the meter link is switched on.");
    plain(out, "tev3p_link_on", status.linkOn ? 1 : 0);
    family(out, "tev3p_connections", "gauge", "Open connections at each listening port.");
    out += "tev3p_connections{port=\"" + std::to_string(status.meterPort) + "\"} ";
    appendValue(out, status.meterConnections);
    out += '\n';
    if (status.secondPort != status.meterPort) {
        out += "tev3p_connections{port=\"" + std::to_string(status.secondPort) + "\"} ";
        appendValue(out, status.secondConnections);
        out += '\n';
    }
    family(out, "tev3p_save_failures_total", "counter",
           "Saves of the records or settings file that failed.");
    plain(out, "tev3p_save_failures_total", static_cast<double>(status.saveFailures));
    if (status.evening) {
        const std::vector<EveningMetrics>& meters = *status.evening;
        family(out, "tev3p_month_energy_kwh", "gauge",
               "Energy of each archived meter from the first of this month on.");
        for (const EveningMetrics& m : meters)
            sample(out, status.names, "tev3p_month_energy_kwh", m.meter, {}, m.monthKwh);
        family(out, "tev3p_month_projected_cost", "gauge",
               "This month's projected cost of each archived meter under the tariff.");
        for (const EveningMetrics& m : meters)
            if (m.projectedCost)
                sample(out, status.names, "tev3p_month_projected_cost", m.meter, {},
                       *m.projectedCost);
        family(out, "tev3p_base_load_watts", "gauge",
               "The always-on load of each archived meter over the last whole night.");
        for (const EveningMetrics& m : meters)
            if (m.baseWatts)
                sample(out, status.names, "tev3p_base_load_watts", m.meter, {}, *m.baseWatts);
    }
    if (status.fleet) {
        const FleetMetrics& f = *status.fleet;
        family(out, "tev3p_fleet_up", "gauge",
               "1 while the fleet database takes the archive's rows.");
        plain(out, "tev3p_fleet_up", f.up ? 1 : 0);
        family(out, "tev3p_fleet_backlog_rows", "gauge",
               "Archive rows waiting to be shipped to the fleet database.");
        plain(out, "tev3p_fleet_backlog_rows", static_cast<double>(f.backlogRows));
        family(out, "tev3p_fleet_last_shipped_timestamp_seconds", "gauge",
               "Unix time of the last batch the fleet database committed.");
        if (f.lastShippedUnix > 0)
            plain(out, "tev3p_fleet_last_shipped_timestamp_seconds",
                  static_cast<double>(f.lastShippedUnix));
    }
    return out;
}

}  // namespace tev::web
