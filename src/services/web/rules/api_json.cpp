#include "services/web/rules/api_json.h"

#include <algorithm>
#include <ctime>

#include "core/meterlink/phase_imbalance.h"
#include "core/recordsio/record_columns.h"
#include "core/texts/json_text.h"
#include "services/web/rules/names.h"
#include "services/web/rules/row_time.h"

namespace tev::web {
namespace {

constexpr int kImbalanceDecimals = 2;

void appendKey(std::string& out, std::string_view key) {
    appendJsonString(out, key);
    out += ':';
}

// The current imbalance of three phase currents as the imbalance alert judges it, 2 decimals;
// null below the meter's floor.
void appendImbalance(std::string& out, float a1, float a2, float a3, double floor) {
    appendKey(out, "imbalance");
    if (const auto i = phaseImbalancePercent({a1, a2, a3}, floor))
        appendJsonFixed(out, *i, kImbalanceDecimals, true);
    else
        out += "null";
}

// "name":"Kitchen" or "name":null.
void appendName(std::string& out, const MeterNames& names, std::string_view id) {
    appendKey(out, "name");
    if (const auto name = names.of(id))
        appendJsonString(out, *name);
    else
        out += "null";
}

void appendOptionalInteger(std::string& out, const std::optional<std::int64_t>& v) {
    if (v)
        appendJsonInteger(out, *v);
    else
        out += "null";
}

float meterWatt(const MeterEntry& m) {
    return (m.V1 * m.A1 + m.V2 * m.A2 + m.V3 * m.A3) * kPowerFactor;
}

}  // namespace

void KeptMeters::heard(std::string_view id, std::string_view ip) {
    auto it = meters_.find(id);
    if (it == meters_.end()) {
        if (meters_.size() >= kMostKept) return;
        it = meters_.emplace(std::string(id), KeptMeter{}).first;
    }
    it->second.offlineSince.reset();
    if (!ip.empty()) it->second.ip = std::string(ip);
}

void KeptMeters::dataFrom(std::string_view id, std::int64_t now) {
    if (const auto it = meters_.find(id); it != meters_.end()) it->second.lastData = now;
}

void KeptMeters::forgotten(std::int64_t now) {
    for (auto& [id, kept] : meters_)
        if (!kept.offlineSince) kept.offlineSince = now;
}

std::string liveJson(const MeasurementStore& store, const ServiceStatus& status) {
    const LiveReadings& l = store.live;
    const float values[kQuantityCount] = {l.V1, l.V2, l.V3, l.Amp, l.A1, l.A2, l.A3, l.Watt,
                                          l.W1, l.W2, l.W3, l.KWh, l.K1, l.K2, l.K3};
    std::string out = "{";
    appendKey(out, "time");
    appendJsonInteger(out, status.now);
    out += ",";
    appendKey(out, "link");
    out += status.linkOn ? "true" : "false";
    out += ",";
    appendKey(out, "offline_alarm");
    out += status.offlineAlarm ? "true" : "false";
    out += ",";
    appendKey(out, "language");
    appendJsonString(out, status.language);
    out += ",";
    appendKey(out, "run");
    appendJsonString(out, status.runId);
    out += ",";
    // The recorder's zone at that moment, so the page can show its times as the recorder
    // keeps them and name the zone.
    const auto now = static_cast<std::time_t>(status.now);
    std::tm local{};
    localtime_r(&now, &local);
    appendKey(out, "zone");
    appendJsonString(out, local.tm_zone != nullptr ? local.tm_zone : "");
    out += ",";
    appendKey(out, "utc_offset");
    appendJsonInteger(out, local.tm_gmtoff);
    out += ",";
    appendKey(out, "time_zone");
    if (status.timeZone.empty())
        out += "null";
    else
        appendJsonString(out, status.timeZone);
    out += ",";
    appendKey(out, "meters");
    appendJsonInteger(out, store.registry.MeterCount);
    out += ",";
    appendKey(out, "meter");
    if (store.registry.MeterCount > 0)
        appendJsonString(out, store.registry.rows[0].Id.view());
    else
        out += "null";
    out += ",";
    if (store.registry.MeterCount > 0)
        appendName(out, status.names, store.registry.rows[0].Id.view());
    else
        out += "\"name\":null";
    out += ",";
    appendKey(out, "week_start");
    appendJsonString(out, status.weekStart);
    out += ",";
    appendKey(out, "readings");
    out += '{';
    for (int c = 0; c < kQuantityCount; ++c) {
        if (c > 0) out += ',';
        appendKey(out, kQuantityNames[c]);
        appendJsonNumber(out, values[c]);
    }
    out += "},";
    const std::string_view primary =
        store.registry.MeterCount > 0 ? store.registry.rows[0].Id.view() : std::string_view();
    appendImbalance(out, l.A1, l.A2, l.A3, status.imbalanceFloor.forMeter(primary));
    out += '}';
    return out;
}

std::string metersJson(const MeterRegistry& registry, const ServiceStatus& status) {
    std::string out = "[";
    const int count = std::clamp<int>(registry.MeterCount, 0, kMeterRegistryCapacity);
    out.reserve(static_cast<std::size_t>(count) * 220 + 2);
    for (int i = 0; i < count; ++i) {
        const MeterEntry& m = registry.rows[i];
        if (i > 0) out += ',';
        out += '{';
        appendKey(out, "id");
        appendJsonString(out, m.Id.view());
        out += ',';
        appendName(out, status.names, m.Id.view());
        out += ',';
        appendKey(out, "ip");
        appendJsonString(out, m.IpAddr.view());
        out += ',';
        appendKey(out, "last_message");
        const auto seen = status.lastMessage.find(m.Id.view());
        const bool known = seen != status.lastMessage.end();
        if (known)
            appendJsonInteger(out, seen->second);
        else
            out += "null";
        const std::pair<std::string_view, float> fields[] = {
            {"V1", m.V1}, {"V2", m.V2}, {"V3", m.V3},           {"A1", m.A1},
            {"A2", m.A2}, {"A3", m.A3}, {"Watt", meterWatt(m)}, {"day_kwh", m.Energy[0]}};
        // A row the meter took over keeps the readings of the meter before it until the
        // meter's own first data message.
        const bool readings = !status.noReadingsYet.contains(m.Id.view());
        for (const auto& [name, value] : fields) {
            out += ',';
            appendKey(out, name);
            if (readings)
                appendJsonNumber(out, value);
            else
                out += "null";
        }
        out += ',';
        if (readings) {
            appendImbalance(out, m.A1, m.A2, m.A3, status.imbalanceFloor.forMeter(m.Id.view()));
        } else {
            appendKey(out, "imbalance");
            out += "null";
        }
        out += ',';
        appendKey(out, "online");
        const bool online =
            known && !status.offlineAlarm && status.now - seen->second <= kOnlineSeconds;
        out += online ? "true" : "false";
        out += ',';
        // Off-line in the registry: since the alarm, or else since it was last heard.
        appendKey(out, "offline_since");
        const auto kept = status.kept.find(m.Id.view());
        std::optional<std::int64_t> since;
        if (!online && kept != status.kept.end()) since = kept->second.offlineSince;
        if (!online && !since && known) since = seen->second;
        appendOptionalInteger(out, since);
        out += '}';
    }
    // The meters heard from since the start (or held by the archive) that are no longer
    // registered, after the registered ones, by ID: off-line, without readings.
    bool first = count == 0;
    for (const auto& [id, kept] : status.kept) {
        if (registry.find(id) >= 0) continue;
        if (!first) out += ',';
        first = false;
        out += '{';
        appendKey(out, "id");
        appendJsonString(out, id);
        out += ',';
        appendName(out, status.names, id);
        out += ',';
        appendKey(out, "ip");
        if (kept.ip.empty())
            out += "null";
        else
            appendJsonString(out, kept.ip);
        out += ',';
        appendKey(out, "last_message");
        appendOptionalInteger(out, kept.lastData);
        for (const std::string_view name :
             {"V1", "V2", "V3", "A1", "A2", "A3", "Watt", "day_kwh", "imbalance"}) {
            out += ',';
            appendKey(out, name);
            out += "null";
        }
        out += ",\"online\":false,";
        appendKey(out, "offline_since");
        appendOptionalInteger(out, kept.offlineSince);
        out += '}';
    }
    out += ']';
    return out;
}

std::optional<SeriesQuery> seriesQueryFrom(const RequestTarget& target, std::string& problem) {
    SeriesQuery q;
    const auto scale = target.value("scale");
    if (!scale) {
        problem = "scale is missing (min, m5, m10, hour, day, week or month)";
        return std::nullopt;
    }
    const auto s = scaleByName(*scale);
    if (!s) {
        problem = "scale must be min, m5, m10, hour, day, week or month";
        return std::nullopt;
    }
    q.scale = *s;
    const auto quantities = target.value("quantities");
    if (!quantities) {
        problem = "quantities is missing, e.g. quantities=Watt,V1";
        return std::nullopt;
    }
    for (const std::string& name : splitList(*quantities)) {
        const auto column = quantityColumnByName(name);
        if (!column) {
            problem = "unknown quantity " + name.substr(0, 20);
            return std::nullopt;
        }
        if (std::find(q.columns.begin(), q.columns.end(), *column) == q.columns.end())
            q.columns.push_back(*column);
    }
    if (q.columns.empty()) {
        problem = "quantities names no quantity";
        return std::nullopt;
    }
    for (const auto& [key, bound] : {std::pair{"from", &q.from}, std::pair{"to", &q.to}}) {
        if (const auto v = target.value(key)) {
            const auto n = parseInteger(*v);
            if (!n) {
                problem = std::string(key) + " must be Unix seconds";
                return std::nullopt;
            }
            if (!inRequestTimeRange(*n)) {
                problem = std::string(key) + std::string(kRequestTimeRangeText);
                return std::nullopt;
            }
            *bound = *n;
        }
    }
    if (q.from && q.to && *q.from > *q.to) {
        problem = "from is after to";
        return std::nullopt;
    }
    if (const auto live = target.value("live")) q.live = *live != "false";
    return q;
}

std::string seriesJson(const ScaleTable& table, const SeriesQuery& query) {
    const int last = table.cnt <= 0 ? 0 : lastReadableRow(table);
    const int end = query.live ? last : std::min(last, static_cast<int>(table.cnt)) - 1;
    // Rows that fall in the asked span, oldest first; the table holds them oldest first too.
    std::vector<int> rows;
    std::vector<std::int64_t> times;
    rows.reserve(static_cast<std::size_t>(std::max(end + 1, 0)));
    times.reserve(rows.capacity());
    RowClock clock;
    for (int r = 0; r <= end; ++r) {
        if (!query.live && r >= table.cnt) break;
        const auto t = clock.at(table, r);
        if (!t) continue;
        if (query.from && *t < *query.from) continue;
        if (query.to && *t > *query.to) continue;
        rows.push_back(r);
        times.push_back(*t);
    }
    std::string out;
    out.reserve(32 + rows.size() * 12 * (1 + query.columns.size()));
    out += "{\"time\":[";
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (i > 0) out += ',';
        appendJsonInteger(out, times[i]);
    }
    out += ']';
    for (const int c : query.columns) {
        out += ',';
        appendKey(out, kQuantityNames[c]);
        out += '[';
        const std::uint32_t* cells = table.column(c);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i > 0) out += ',';
            appendJsonNumber(out, std::bit_cast<float>(cells[rows[i]]));
        }
        out += ']';
    }
    out += '}';
    return out;
}

std::string logJson(const LogWindow& log, std::uint64_t after) {
    const std::size_t held = log.lines ? log.lines->size() : 0;
    const std::uint64_t last = log.first + held - 1;
    std::uint64_t from = std::max(after + 1, log.first);
    if (last + 1 > kLogLinesPerAnswer)
        from = std::max<std::uint64_t>(from, last + 1 - kLogLinesPerAnswer);
    std::string out = "{\"last\":";
    appendJsonInteger(out, static_cast<std::int64_t>(last));
    out += ",\"lines\":[";
    bool first = true;
    for (std::uint64_t n = from; n <= last && held > 0; ++n) {
        if (!first) out += ',';
        first = false;
        out += "{\"n\":";
        appendJsonInteger(out, static_cast<std::int64_t>(n));
        out += ",\"text\":";
        appendJsonString(out, (*log.lines)[static_cast<std::size_t>(n - log.first)]);
        out += '}';
    }
    out += "]}";
    return out;
}

}  // namespace tev::web
