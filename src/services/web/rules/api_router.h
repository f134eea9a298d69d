#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/store/measurement_store.h"
#include "services/alerts/tariff/tariff.h"
#include "services/web/rules/alerts_json.h"
#include "services/web/rules/answer_body.h"
#include "services/web/rules/api_json.h"
#include "services/web/rules/archive_costs.h"
#include "services/web/rules/request_target.h"
#include "services/web/rules/snapshot.h"

namespace tev::web {

struct ApiResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // beyond the usual ones
    // Set instead of `body` for an answer too big to build whole: it is written a slice at a
    // time as the client reads (chunked), on a reader thread.
    std::shared_ptr<BodyWriter> stream = {};
};

// Everything an answer is built from; read on the GUI thread between meter messages.
struct ApiContext {
    const MeasurementStore& store;
    const ServiceStatus& status;
    LogWindow log;
    // The alerts now; none when the program runs without alert rules.
    std::function<AlertsSnapshot()> alerts = {};
    // The folder's tariff; costs are shown only when it is configured.
    const alerts::Tariff* tariff = nullptr;
    // With the archive on, the primary meter's today, week and month from its hour rows;
    // unset: from the Hour, Day and Week tables of the records.
    std::function<MeterPeriodCosts()> primaryCosts = {};
};

inline constexpr std::string_view kJsonContentType = "application/json";
inline constexpr std::string_view kCsvContentType = "text/csv; charset=utf-8";
// ?bom=1 on a CSV: a UTF-8 byte-order mark before its header, which spreadsheet programs read
// as "this CSV is UTF-8".
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
inline bool bomAsked(const RequestTarget& target) {
    return target.value("bom") == "1";
}

// An answer built from one table of the store that may take more than a millisecond to build
// (a series, a records CSV): the server copies the table between two meter messages and builds
// the answer from the copy on a reader thread.
struct TableAnswer {
    TimeScale scale = TimeScale::Hour;
    std::function<ApiResponse(const ScaleTable& table)> build;
};
// For /api/v1/series and /api/v1/records.csv: the answer to build, or the 400 to a bad request;
// nothing for every other path. `tariff` is copied into the builder.
std::optional<std::variant<TableAnswer, ApiResponse>> tableAnswerFor(const RequestTarget& target,
                                                                     const alerts::Tariff* tariff);

// The answer to GET `target` under /api/v1/ or /metrics; nothing for any other path (the
// dashboard's own files are the server's business).
std::optional<ApiResponse> answerApi(const RequestTarget& target, const ApiContext& context);

// {"error":"…"} with the status.
ApiResponse errorResponse(int status, std::string_view text);

}  // namespace tev::web
