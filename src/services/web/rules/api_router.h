#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/store/measurement_store.h"
#include "services/alerts/tariff/tariff.h"
#include "services/web/rules/alerts_json.h"
#include "services/web/rules/api_json.h"
#include "services/web/rules/request_target.h"
#include "services/web/rules/snapshot.h"

namespace tev::web {

struct ApiResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // beyond the usual ones
};

// Everything an answer is built from; read on the GUI thread between meter messages.
struct ApiContext {
    const MeasurementStore& store;
    const ServiceStatus& status;
    LogWindow log;
    // The alerts now; none when the program runs without alert rules.
    std::function<AlertsSnapshot()> alerts = {};
    // The folder's tariff; costs are shown only when it is configured.
    const Tariff* tariff = nullptr;
};

inline constexpr std::string_view kJsonContentType = "application/json";
inline constexpr std::string_view kCsvContentType = "text/csv; charset=utf-8";

// The answer to GET `target` under /api/v1/ or /metrics; nothing for any other path (the
// dashboard's own files are the server's business).
std::optional<ApiResponse> answerApi(const RequestTarget& target, const ApiContext& context);

// {"error":"…"} with the status.
ApiResponse errorResponse(int status, std::string_view text);

}  // namespace tev::web
