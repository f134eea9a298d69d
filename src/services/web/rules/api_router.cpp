#include "services/web/rules/api_router.h"

#include <cstdio>

#include "core/recordsio/csv_export.h"
#include "core/texts/json_text.h"
#include "services/web/rules/metrics_text.h"
#include "services/web/rules/names.h"
#include "services/web/rules/row_cost.h"
#include "services/web/rules/tidy_csv.h"

namespace tev::web {
namespace {

ApiResponse json(std::string body) {
    return {200, std::string(kJsonContentType), std::move(body), {}};
}

ApiResponse recordsCsv(const ScaleTable& table, bool tidy, bool live, bool bom,
                       const alerts::Tariff* tariff) {
    std::string fileName(csvProposedFileName(table.scale()));
    ApiResponse r{200, std::string(kCsvContentType), {}, {}};
    if (bom) r.body = kUtf8Bom;
    if (!tidy) {
        // The records manager's Output, byte for byte: it always holds the live row.
        r.body += exportCsv(table);
    } else {
        r.body += tidyCsv(table, live, tariff);
        fileName.insert(fileName.size() - 4, "_tidy");
    }
    r.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + fileName + "\"");
    return r;
}

// {"currency":"€","today":…,"week":…,"month":…}, or {"currency":null} without a tariff.
std::string costsJson(const ApiContext& context) {
    const alerts::Tariff* tariff = context.tariff;
    if (tariff == nullptr || !tariff->configured()) return "{\"currency\":null}";
    PeriodCosts c;
    if (context.primaryCosts) {
        const MeterPeriodCosts m = context.primaryCosts();
        c = {m.today, m.week, m.month};
    } else {
        const MeasurementStore& store = context.store;
        c = periodCosts(store.table(TimeScale::Hour), store.table(TimeScale::Day),
                        store.table(TimeScale::Week), *tariff);
    }
    std::string out = "{\"currency\":";
    appendJsonString(out, tariff->currency());
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, ",\"today\":%.4f,\"week\":%.4f,\"month\":%.4f}", c.today,
                  c.week, c.month);
    out += buffer;
    return out;
}

}  // namespace

ApiResponse errorResponse(int status, std::string_view text) {
    std::string body = "{\"error\":";
    appendJsonString(body, text);
    body += '}';
    return {status, std::string(kJsonContentType), std::move(body), {}};
}

std::optional<std::variant<TableAnswer, ApiResponse>> tableAnswerFor(const RequestTarget& target,
                                                                     const alerts::Tariff* tariff) {
    if (target.path == "/api/v1/series") {
        std::string problem;
        const auto query = seriesQueryFrom(target, problem);
        if (!query) return errorResponse(400, problem);
        return TableAnswer{query->scale, [query = *query](const ScaleTable& table) {
                               return json(seriesJson(table, query));
                           }};
    }
    if (target.path == "/api/v1/records.csv") {
        const auto scaleText = target.value("scale");
        const auto scale = scaleText ? scaleByName(*scaleText) : std::nullopt;
        if (!scale)
            return errorResponse(400, "scale must be min, m5, m10, hour, day, week or month");
        const std::string_view format = target.value("format").value_or("original");
        if (format != "original" && format != "tidy")
            return errorResponse(400, "format must be original or tidy");
        std::optional<alerts::Tariff> priced;
        if (tariff != nullptr && tariff->configured()) priced = *tariff;
        return TableAnswer{
            *scale, [tidy = format == "tidy", live = target.value("live") == "true",
                     bom = bomAsked(target), priced = std::move(priced)](const ScaleTable& table) {
                return recordsCsv(table, tidy, live, bom, priced ? &*priced : nullptr);
            }};
    }
    return std::nullopt;
}

std::optional<ApiResponse> answerApi(const RequestTarget& target, const ApiContext& context) {
    const std::string& path = target.path;
    if (path == "/metrics")
        return ApiResponse{
            200, std::string(kMetricsContentType), metricsText(context.store, context.status), {}};
    constexpr std::string_view kPrefix = "/api/v1/";
    if (path.rfind(kPrefix, 0) != 0) return std::nullopt;
    const std::string_view name = std::string_view(path).substr(kPrefix.size());
    if (name == "live") return json(liveJson(context.store, context.status));
    if (name == "meters") return json(metersJson(context.store.registry, context.status));
    if (auto table = tableAnswerFor(target, context.tariff)) {
        if (auto* a = std::get_if<TableAnswer>(&*table))
            return a->build(context.store.table(a->scale));
        return std::get<ApiResponse>(*table);
    }
    if (name == "costs") return json(costsJson(context));
    if (name == "alerts")
        return json(alertsJson(context.alerts ? context.alerts() : AlertsSnapshot{}));
    if (name == "log") {
        std::uint64_t after = 0;
        if (const auto a = target.value("after")) {
            const auto n = parseInteger(*a);
            if (!n || *n < 0) return errorResponse(400, "after must be a line number");
            after = static_cast<std::uint64_t>(*n);
        }
        return json(logJson(context.log, after));
    }
    return errorResponse(404, "no such API path");
}

}  // namespace tev::web
