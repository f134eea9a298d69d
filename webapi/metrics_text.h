#pragma once

#include <string>

#include "store/measurement_store.h"
#include "webapi/snapshot.h"

namespace tev::web {

// GET /metrics: the Prometheus text exposition format (version 0.0.4), every family with its
// HELP and TYPE lines.
inline constexpr std::string_view kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

std::string metricsText(const MeasurementStore& store, const ServiceStatus& status);

}  // namespace tev::web
