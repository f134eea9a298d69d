#pragma once

#include <optional>
#include <string>
#include <variant>

#include "services/report/rules/month_report_inputs.h"
#include "services/web/rules/api_router.h"
#include "services/web/rules/request_target.h"

namespace tev::report {

// GET /api/v1/meters/<id>/report.html?month=2026-11: one meter's monthly report, the same
// bytes `tev3p report` writes.
struct ReportDownload {
    std::string meter;
    std::string month;  // "2026-11"
    ReportMonth span;
};

// For /api/v1/meters/<id>/report.html: the request, or the 400 to a bad ID or month; nothing
// for every other path.
std::optional<std::variant<ReportDownload, web::ApiResponse>> reportDownloadFrom(
    const web::RequestTarget& target);

// The answer to `request` from what gathering its figures gave: the page as an attachment
// named as the command names the file, 404 for a month without rows, 503 for an archive that
// cannot be read.
web::ApiResponse reportDownloadAnswer(const ReportDownload& request, Gathered gathered,
                                      const MonthReport& figures);

}  // namespace tev::report
