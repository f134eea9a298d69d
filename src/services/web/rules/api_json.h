#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/store/measurement_store.h"
#include "services/web/rules/request_target.h"
#include "services/web/rules/snapshot.h"

namespace tev::web {

// GET /api/v1/live: the primary meter's fifteen readings, the link, the meter count, the time
// with the recorder's zone and UTC offset, and the run.
std::string liveJson(const MeasurementStore& store, const ServiceStatus& status);

// GET /api/v1/meters: one object per registered meter, with its current imbalance as the live
// answer gives it.
std::string metersJson(const MeterRegistry& registry, const ServiceStatus& status);

// What GET /api/v1/series asks for.
struct SeriesQuery {
    TimeScale scale = TimeScale::Hour;
    std::vector<int> columns;  // store columns, in the order asked
    std::optional<std::int64_t> from, to;
    bool live = true;  // the live row as the newest point
};

// The query's parameters, or the reason they cannot be answered (a 400's text).
std::optional<SeriesQuery> seriesQueryFrom(const RequestTarget& target, std::string& problem);

// {"time":[…],"Watt":[…],…}, oldest first; rows whose date is no date are left out.
std::string seriesJson(const ScaleTable& table, const SeriesQuery& query);

// The event log lines numbered from 1 as they were appended; `first` is the number of the
// oldest line still held.
struct LogWindow {
    std::uint64_t first = 1;
    const std::deque<std::string>* lines = nullptr;
};

inline constexpr std::size_t kLogLinesPerAnswer = 200;

// GET /api/v1/log?after=N: {"last":M,"lines":[{"n":…,"text":…},…]}, at most the newest 200
// lines after line N.
std::string logJson(const LogWindow& log, std::uint64_t after);

}  // namespace tev::web
