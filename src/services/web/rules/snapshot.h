#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/meterlink/meter_names.h"

namespace tev::web {

// The fleet sink's state for /metrics, handed in by the program while the sink is on.
struct FleetMetrics {
    bool up = false;
    std::int64_t backlogRows = 0;
    std::int64_t lastShippedUnix = 0;  // 0: nothing shipped yet in this run
};

// The mean current above which a meter's current imbalance is judged: the alerts'
// imbalance_min_amps, of [alerts] and of the meters with their own [alerts.<id>] value. Below
// it the answers give no imbalance, as the alert judges none.
struct ImbalanceFloor {
    double amps = 1;
    std::map<std::string, double, std::less<>> perMeter;

    double forMeter(std::string_view id) const {
        const auto it = perMeter.find(id);
        return it == perMeter.end() ? amps : it->second;
    }
};

// One archived meter's evening figures for /metrics and the broker, made at most once a minute:
// the month's energy so far, the month's projected cost (standing charges in; none without a
// tariff or a whole day of history) and the last whole night's base load.
struct EveningMetrics {
    std::string meter;
    std::int64_t monthStart = 0;  // local midnight of the month's first day
    double monthKwh = 0;
    std::optional<double> projectedCost;
    std::optional<double> baseWatts;
};

// A meter heard from since the program started, or one the archive holds: the meters answer
// keeps it after it left the registry.
struct KeptMeter {
    std::string ip;                            // its last address; empty: none known
    std::optional<std::int64_t> lastData;      // Unix seconds of its last data message
    std::optional<std::int64_t> offlineSince;  // when the off-line alarm forgot it
};

using KeptMeterMap = std::map<std::string, KeptMeter, std::less<>>;

// The meters heard from since the start, as the meter messages and the off-line alarm leave
// them; bounded to twice the registry's rows (forged IDs beyond that are not kept).
class KeptMeters {
  public:
    static constexpr std::size_t kMostKept = 400;
    // A message from `id`, registered with address `ip` (empty when not registered): on-line.
    void heard(std::string_view id, std::string_view ip);
    void dataFrom(std::string_view id, std::int64_t now);
    // The off-line alarm forgot every meter: each goes off-line now, unless it is already.
    void forgotten(std::int64_t now);
    const KeptMeterMap& meters() const { return meters_; }

  private:
    KeptMeterMap meters_;
};

// What the web answers need beyond the store: the state of the link and the sockets, kept by
// the server from the meter messages it hears of. Plain values, copied per request.
struct ServiceStatus {
    std::int64_t now = 0;  // Unix seconds
    bool linkOn = false;
    std::string language = "english";  // the program's language mode: english or bilingual
    bool offlineAlarm = false;         // the off-line alarm forgot the meters and none spoke since
    std::uint16_t meterPort = 0;
    std::uint16_t secondPort = 0;
    int meterConnections = 0;
    int secondConnections = 0;
    std::uint64_t saveFailures = 0;
    std::string runId;  // this run of the program; a new one after a restart
    // The recorder's time zone as an IANA name ("Europe/Berlin"), which a browser can apply to
    // each time with that time's own offset; empty when the zone has no such name.
    std::string timeZone;
    // Unix seconds of the last message handled per meter ID.
    std::map<std::string, std::int64_t, std::less<>> lastMessage;
    // Meters registered since the off-line alarm (or first seen) by a device message or a poll
    // and not yet by a data message: their rows may still hold another meter's readings.
    std::set<std::string, std::less<>> noReadingsYet;
    std::optional<FleetMetrics> fleet;
    // With the archive on: every archived meter's evening figures as last made.
    std::optional<std::vector<EveningMetrics>> evening;
    ImbalanceFloor imbalanceFloor;
    // Every meter heard from since the start, and the archive's, by ID.
    KeptMeterMap kept;
    MeterNames names;
    // The first day of the dashboard's weeks ([dashboard] week_start): "monday" or "sunday".
    std::string weekStart = "monday";
};

// A meter counts as on-line while its last message is at most this old; the meter sends every
// few seconds, and the off-line alarm of the window waits longer.
inline constexpr std::int64_t kOnlineSeconds = 60;

}  // namespace tev::web
