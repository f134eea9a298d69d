#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/store/measurement_store.h"
#include "platform/clock.h"

namespace tev::sim {

// A history for trying the program without a meter: the simulated meter's days played through
// the program's own meter protocol, one-second tick and roll-up, on a clock that runs as fast
// as the computer can, then written as the records file and the settings file.
struct DemoOptions {
    std::string folder;  // where the records, settings and day files go
    int days = 400;
    DateTime end;  // the history ends here (the caller passes the present moment)
    // Seconds between the meter's data messages in the older history, of which only the hour,
    // day, week and month tables keep rows. Nearer the end the messages come closer:
    // kMediumMessageSeconds in the days the 5- and 10-minute tables hold, kFineMessageSeconds
    // in the days the minute table holds.
    int messageSeconds = 300;
    bool outages = true;  // a few spells of a silent link: the off-line alarm and gaps
    // Told after each handled data message, with the demo clock's Unix time, as the program's
    // meter observers are; the per-meter archive listens here.
    std::function<void(const MeterRegistry&, std::string_view meterId, std::int64_t unixSeconds)>
        dataMessageHandled;
};

inline constexpr int kFineMessageSeconds = 10;
inline constexpr int kFineDays = 6;  // the minute table's 8000 rows are 5.6 days
inline constexpr int kMediumMessageSeconds = 60;
inline constexpr int kMediumDays = 35;  // the 10-minute table's 5000 rows are 34.7 days
inline constexpr int kPollSeconds = 30;

struct DemoResult {
    std::string error;  // empty on success
    std::int64_t ticks = 0;
    std::int64_t messages = 0;
    int outages = 0;
};

// Plays the history into `store` (which should be fresh) without writing anything.
DemoResult playDemoHistory(const DemoOptions& options, MeasurementStore& store);

// Plays the history and writes "TEV3P_Records.dat" and "TEV3P_Environ.dat" into the folder,
// with CH1 showing Watt by day and CH2 V1 by hour. Refuses to replace a records file that is
// already there. Day files "M10_<ID>.txt" are written by the meter protocol as it goes.
DemoResult writeDemoHistory(const DemoOptions& options);

// The meter of the demo.
inline constexpr const char* kDemoMeterId = "SIM000000001";
inline constexpr const char* kDemoMeterIp = "192.168.1.100";

}  // namespace tev::sim
