#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "services/alerts/tariff/tariff.h"
#include "services/archive/rules/series.h"
#include "services/web/rules/api_router.h"
#include "services/web/rules/request_target.h"

namespace tev::web {

// One meter's archive rows asked for by /api/v1/meters/<id>/series (JSON, columnar like
// /api/v1/series) or /api/v1/meters/<id>/export.csv (the archive's tidy CSV).
struct MeterArchiveRequest {
    enum class Form { Series, Csv };
    Form form = Form::Series;
    std::string meter;
    archive::Resolution resolution = archive::Resolution::Hour;
    std::vector<std::string> quantities;   // archive quantity names; empty: all of them
    std::optional<std::int64_t> from, to;  // Unix seconds; period starts in [from, to)
};

// For a path under /api/v1/meters/<id>/: the request, or the 400/404 answer to a bad one.
// Nothing for every other path, /api/v1/meters itself included.
std::optional<std::variant<MeterArchiveRequest, ApiResponse>> meterArchiveRequestFrom(
    const RequestTarget& target);

// The answer to `request` from the rows the reader gave, or from its error text. The CSV gains
// a cost column when `tariff` has prices. The rows are written as the client reads them
// (`stream`); an error answer has a body of its own.
ApiResponse meterArchiveAnswer(const MeterArchiveRequest& request, archive::ArchiveSeries series,
                               const std::string& error, const Tariff* tariff = nullptr);

// The same with the whole body built at once (`tev3p export`, tests).
ApiResponse meterArchiveResponse(const MeterArchiveRequest& request,
                                 const archive::ArchiveSeries& series, const std::string& error,
                                 const Tariff* tariff = nullptr);

}  // namespace tev::web
