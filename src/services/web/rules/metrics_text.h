#pragma once

#include <string>

#include "core/store/measurement_store.h"
#include "services/web/rules/snapshot.h"

namespace tev::web {

// GET /metrics: the Prometheus text exposition format (version 0.0.4), every family with its
// HELP and TYPE lines.
inline constexpr std::string_view kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

std::string metricsText(const MeasurementStore& store, const ServiceStatus& status);

}  // namespace tev::web
