#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "services/alerts/tariff/tariff.h"
#include "services/archive/rules/archive_queries.h"
#include "services/archive/rules/energy_periods.h"
#include "services/archive/rules/series.h"
#include "services/web/rules/api_router.h"
#include "services/web/rules/request_target.h"

namespace tev::web {

// One meter's archive rows asked for by /api/v1/meters/<id>/series (JSON, columnar like
// /api/v1/series) or /api/v1/meters/<id>/export.csv (the archive's tidy CSV); or what is made
// of them: /energy (energy and cost per hour, day, week or month, from the hour rows) and /quality
// or /quality.csv (an ISO week's voltage-quality report, from the minute rows), and /insights
// (the evening figures, as of at=).
struct MeterArchiveRequest {
    enum class Form { Series, Csv, Energy, Quality, QualityCsv, Insights };
    Form form = Form::Series;
    std::string meter;
    archive::Resolution resolution = archive::Resolution::Hour;
    std::vector<std::string> quantities;   // archive quantity names; empty: all of them
    std::optional<std::int64_t> from, to;  // Unix seconds; period starts in [from, to)
    archive::EnergyPeriod period = archive::EnergyPeriod::Day;  // of an energy request
    archive::WeekStart weekStart = archive::WeekStart::Monday;  // of a week's energy
    // The meter's name ([meters] name.<ID>), set by the server: in the JSON answers and the
    // CSV's file name.
    std::optional<std::string> name;
    bool bom = false;  // ?bom=1: a CSV starts with a UTF-8 byte-order mark
    // /insights: the moment its figures are as of (at=, or `now`).
    std::int64_t at = 0;
};

// `series` with one row of nulls (time: the first missing period's start) wherever one or more
// periods are missing between two rows, so that a chart's line breaks there.
archive::ArchiveSeries withGapRows(archive::ArchiveSeries series);

// The file name a browser saves a meter's CSV under: TEV3P_<ID>_<name>_<resolution>.csv, the
// name (when the meter has one) reduced to characters safe in a quoted header value and in any
// file system.
std::string csvFileName(const MeterArchiveRequest& r);

// The longest span an energy request may cover, and the periods it covers without from=:
// 31 days, 13 weeks (a quarter and the week before it) or 13 months.
inline constexpr int kMaxEnergyDays = 3 * 366 + 31;
inline constexpr int kDefaultEnergyPeriods = 13;
// The longest span of an hourly energy request (period=hour), which covers the local day of
// from= (or of `now`) without to=.
inline constexpr int kMaxEnergyHourDays = 31;

// For a path under /api/v1/meters/<id>/: the request, or the 400/404 answer to a bad one.
// Nothing for every other path, /api/v1/meters itself included. An energy or quality request
// comes back with its bounds filled in: from the start of the period holding from= (or the
// default number of periods before `now`) to to= (or `now`'s period end); an ISO week= (or
// `now`'s week).
std::optional<std::variant<MeterArchiveRequest, ApiResponse>> meterArchiveRequestFrom(
    const RequestTarget& target, std::int64_t now = 0,
    archive::WeekStart weekStart = archive::WeekStart::Monday);

// For /api/v1/insights: the moment the figures are as of (at=, else `now`), or the 400 answer
// to a bad at=; nothing for every other path.
std::optional<std::variant<std::int64_t, ApiResponse>> siteInsightsAtFrom(
    const RequestTarget& target, std::int64_t now);

// The rows the reader is asked for to answer `request`.
archive::SeriesQuery seriesQueryFor(const MeterArchiveRequest& request);

// The answer to `request` from the rows the reader gave, or from its error text. The CSV gains
// a cost column when `tariff` has prices; energy is priced by it; the quality is measured
// against `voltageNominal`. The rows are written as the client reads them (`stream`); an error,
// energy or quality answer has a body of its own. Energy is summed until `stop` says so.
ApiResponse meterArchiveAnswer(const MeterArchiveRequest& request, archive::ArchiveSeries series,
                               const std::string& error, const alerts::Tariff* tariff = nullptr,
                               std::int64_t now = 0, double voltageNominal = 230,
                               const archive::ReadStop* stop = nullptr);

// The same with the whole body built at once (`tev3p export`, tests).
ApiResponse meterArchiveResponse(const MeterArchiveRequest& request,
                                 const archive::ArchiveSeries& series, const std::string& error,
                                 const alerts::Tariff* tariff = nullptr, std::int64_t now = 0,
                                 double voltageNominal = 230);

}  // namespace tev::web
