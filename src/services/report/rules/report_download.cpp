#include "services/report/rules/report_download.h"

#include <algorithm>
#include <cctype>

namespace tev::report {
namespace {

constexpr std::string_view kMetersPrefix = "/api/v1/meters/";
constexpr std::string_view kReportTail = "/report.html";
constexpr std::size_t kMeterIdLength = 12;

}  // namespace

std::optional<std::variant<ReportDownload, web::ApiResponse>> reportDownloadFrom(
    const web::RequestTarget& target) {
    const std::string_view path = target.path;
    if (path.rfind(kMetersPrefix, 0) != 0 ||
        path.size() < kMetersPrefix.size() + kReportTail.size() ||
        path.substr(path.size() - kReportTail.size()) != kReportTail)
        return std::nullopt;
    const std::string_view id =
        path.substr(kMetersPrefix.size(), path.size() - kMetersPrefix.size() - kReportTail.size());
    if (id.find('/') != std::string_view::npos) return std::nullopt;
    // The ID names the file in a header: letters and digits only.
    if (id.size() != kMeterIdLength ||
        !std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isalnum(c); }))
        return web::errorResponse(400, "a meter ID has 12 letters and digits");
    const auto month = target.value("month");
    if (!month) return web::errorResponse(400, "month=YYYY-MM is needed");
    const auto span = parseReportMonth(*month);
    if (!span) return web::errorResponse(400, "month must be a month such as 2026-11");
    return ReportDownload{std::string(id), std::string(*month), *span};
}

web::ApiResponse reportDownloadAnswer(const ReportDownload& request, Gathered gathered,
                                      const MonthReport& figures) {
    switch (gathered) {
        case Gathered::NoRows:
            return web::errorResponse(
                404, "the archive has no rows of meter " + request.meter + " in " + request.month);
        case Gathered::Failed:
            return web::errorResponse(503, "the archive cannot be read");
        case Gathered::Report:
            break;
    }
    web::ApiResponse r{200, "text/html; charset=utf-8", monthReportHtml(figures), {}};
    r.headers.emplace_back(
        "Content-Disposition",
        "attachment; filename=\"" + reportFileName(request.meter, request.month) + "\"");
    return r;
}

}  // namespace tev::report
