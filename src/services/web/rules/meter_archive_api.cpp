#include "services/web/rules/meter_archive_api.h"

#include <algorithm>

#include "services/archive/rules/local_time.h"
#include "services/web/rules/archive_costs.h"

namespace tev::web {
namespace {

constexpr std::string_view kMetersPrefix = "/api/v1/meters/";
// Meter IDs are 12 printable characters; the request path has already refused spaces,
// percent escapes, backslashes and "..", and a '/' ends the ID.
constexpr std::size_t kMeterIdLength = 12;

ApiResponse problem(int status, std::string text) {
    return errorResponse(status, text);
}

// Unix seconds as /api/v1/series takes them, or an ISO 8601 time as tev3p export takes it.
std::optional<std::int64_t> parseBound(std::string_view text) {
    if (const auto n = parseInteger(text)) return *n;
    return archive::parseIsoTime(text);
}

// The file name a browser saves the CSV under: only characters safe in a quoted header value
// and in any file system.
std::string csvFileName(const MeterArchiveRequest& r) {
    std::string name = "TEV3P_";
    for (const char c : r.meter) {
        const bool safe = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                          (c >= 'a' && c <= 'z') || c == '-' || c == '_';
        name += safe ? c : '_';
    }
    name += '_';
    name += archive::resolutionName(r.resolution);
    name += ".csv";
    return name;
}

}  // namespace

std::optional<std::variant<MeterArchiveRequest, ApiResponse>> meterArchiveRequestFrom(
    const RequestTarget& target) {
    const std::string_view path = target.path;
    if (path.rfind(kMetersPrefix, 0) != 0) return std::nullopt;
    const std::string_view rest = path.substr(kMetersPrefix.size());
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return ApiResponse(problem(404, "no such API path"));
    const std::string_view id = rest.substr(0, slash);
    const std::string_view what = rest.substr(slash + 1);
    MeterArchiveRequest r;
    if (what == "series")
        r.form = MeterArchiveRequest::Form::Series;
    else if (what == "export.csv")
        r.form = MeterArchiveRequest::Form::Csv;
    else
        return ApiResponse(problem(404, "no such API path"));
    if (id.size() != kMeterIdLength)
        return ApiResponse(problem(400, "a meter ID has 12 characters"));
    r.meter = std::string(id);

    if (const auto text = target.value("resolution")) {
        if (!archive::parseResolution(*text, r.resolution))
            return ApiResponse(problem(400, "resolution must be minute, hour or day"));
    }
    if (const auto list = target.value("quantities")) {
        for (const std::string& name : splitList(*list)) {
            if (archive::findQuantity(name) == nullptr)
                return ApiResponse(problem(400, "unknown quantity " + name.substr(0, 20)));
            if (std::find(r.quantities.begin(), r.quantities.end(), name) == r.quantities.end())
                r.quantities.push_back(name);
        }
        if (r.quantities.empty()) return ApiResponse(problem(400, "quantities names no quantity"));
    }
    for (const auto& [key, bound] : {std::pair{"from", &r.from}, std::pair{"to", &r.to}}) {
        const auto text = target.value(key);
        if (!text) continue;
        *bound = parseBound(*text);
        if (!*bound)
            return ApiResponse(
                problem(400, std::string(key) + " must be Unix seconds or an ISO 8601 time"));
    }
    if (r.from && r.to && *r.from > *r.to) return ApiResponse(problem(400, "from is after to"));
    return r;
}

ApiResponse meterArchiveAnswer(const MeterArchiveRequest& request, archive::ArchiveSeries series,
                               const std::string& error, const Tariff* tariff) {
    // The reader's text names the folder, which is no business of a browser; the event log
    // is where the cause is read.
    if (!error.empty()) return problem(503, "the archive cannot be read");
    ApiResponse r;
    if (request.form == MeterArchiveRequest::Form::Csv) {
        std::optional<archive::ExtraColumn> costs;
        if (tariff != nullptr && tariff->configured()) costs = archiveCostColumn(series, *tariff);
        r.stream = archiveCsvBody(std::move(series), std::move(costs));
        r.contentType = std::string(kCsvContentType);
        r.headers.emplace_back("Content-Disposition",
                               "attachment; filename=\"" + csvFileName(request) + "\"");
    } else {
        r.stream = archiveJsonBody(std::move(series));
        r.contentType = std::string(kJsonContentType);
    }
    return r;
}

ApiResponse meterArchiveResponse(const MeterArchiveRequest& request,
                                 const archive::ArchiveSeries& series, const std::string& error,
                                 const Tariff* tariff) {
    ApiResponse r = meterArchiveAnswer(request, series, error, tariff);
    if (r.stream) {
        while (r.stream->next(r.body, 1 << 20)) {
        }
        r.stream.reset();
    }
    return r;
}

}  // namespace tev::web
