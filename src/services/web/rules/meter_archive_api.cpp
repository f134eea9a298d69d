#include "services/web/rules/meter_archive_api.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "services/archive/rules/local_time.h"
#include "services/archive/rules/voltage_quality.h"
#include "services/web/rules/archive_costs.h"
#include "services/web/rules/energy_quality_json.h"

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

bool safeInFileName(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
           c == '_';
}

// Where the row of `resolution` that starts at `t` ends: where the next row is due.
std::int64_t rowEnd(archive::Resolution resolution, std::int64_t t) {
    switch (resolution) {
        case archive::Resolution::Minute:
            return t + 60;
        case archive::Resolution::Hour:
            return t + 3600;
        case archive::Resolution::Day:
            return archive::nextEnergyPeriodStart(
                archive::EnergyPeriod::Day,
                archive::energyPeriodStart(archive::EnergyPeriod::Day, t));
    }
    return t + 3600;
}

// A body whose first bytes are a text of its own (a byte-order mark), then another body's.
class PrefixedBody final : public BodyWriter {
  public:
    PrefixedBody(std::string_view prefix, std::shared_ptr<BodyWriter> rest)
        : prefix_(prefix), rest_(std::move(rest)) {}
    bool next(std::string& out, std::size_t budget) override {
        out += prefix_;
        prefix_.clear();
        return rest_->next(out, budget);
    }

  private:
    std::string prefix_;
    std::shared_ptr<BodyWriter> rest_;
};

constexpr std::int64_t kDaySeconds = 86400;

// The period starts the default energy request begins with: so many periods before `now`'s.
std::int64_t periodsBefore(archive::EnergyPeriod p, std::int64_t now, int periods,
                           archive::WeekStart weekStart) {
    std::int64_t start = archive::energyPeriodStart(p, now, weekStart);
    for (int i = 0; i < periods - 1; ++i)
        start = archive::energyPeriodStart(p, start - 1, weekStart);
    return start;
}

// at=: Unix seconds or an ISO 8601 time within the request times; without it `now`, kept
// within them too.
std::variant<std::int64_t, ApiResponse> insightsAt(const RequestTarget& target, std::int64_t now) {
    const auto text = target.value("at");
    if (!text) return std::clamp(now, kEarliestRequestTime, kLatestRequestTime);
    const auto at = parseBound(*text);
    if (!at) return problem(400, "at must be Unix seconds or an ISO 8601 time");
    if (!inRequestTimeRange(*at)) return problem(400, "at" + std::string(kRequestTimeRangeText));
    return *at;
}

// An hourly energy request: the hours of the local day holding `now` (or to='s last moment)
// unless from= and to= say otherwise; at most kMaxEnergyHourDays days of hours.
std::optional<ApiResponse> settleHourBounds(MeterArchiveRequest& r, std::int64_t now) {
    using archive::EnergyPeriod;
    if (!r.to)
        r.to = archive::nextEnergyPeriodStart(
            EnergyPeriod::Day, archive::energyPeriodStart(EnergyPeriod::Day, r.from.value_or(now)));
    r.from = archive::energyPeriodStart(r.from ? EnergyPeriod::Hour : EnergyPeriod::Day,
                                        r.from.value_or(std::min(now, *r.to - 1)));
    if (*r.from >= *r.to) return problem(400, "from must come before to");
    // A month of local days may hold the autumn's 25-hour day.
    if (*r.to - *r.from > kMaxEnergyHourDays * kDaySeconds + 3600)
        return problem(400, "an hourly energy request covers at most 31 days");
    r.resolution = archive::Resolution::Hour;
    r.quantities = {"Energy"};
    return std::nullopt;
}

// Fills in an energy or quality request's bounds; the 400 answer when they are out of range.
std::optional<ApiResponse> settleBounds(const RequestTarget& target, MeterArchiveRequest& r,
                                        std::int64_t now) {
    if (r.form == MeterArchiveRequest::Form::Energy) {
        if (const auto text = target.value("period")) {
            if (!archive::parseEnergyPeriod(*text, r.period))
                return problem(400, "period must be hour, day, week or month");
        }
        // from= and to= are within the request times already; `now` is the clock's, which a
        // wrong system clock may set anywhere: it is kept within them too.
        now = std::clamp(now, kEarliestRequestTime, kLatestRequestTime);
        if (r.period == archive::EnergyPeriod::Hour) return settleHourBounds(r, now);
        if (!r.to)
            r.to = archive::nextEnergyPeriodStart(
                r.period, archive::energyPeriodStart(r.period, now, r.weekStart));
        r.from = r.from ? archive::energyPeriodStart(r.period, *r.from, r.weekStart)
                        : periodsBefore(r.period, std::min(now, *r.to - 1), kDefaultEnergyPeriods,
                                        r.weekStart);
        if (*r.from >= *r.to) return problem(400, "from must come before to");
        std::int64_t span = 0;
        if (__builtin_sub_overflow(*r.to, *r.from, &span) || span > kMaxEnergyDays * kDaySeconds)
            return problem(400, "an energy request covers at most three years");
        r.resolution = archive::Resolution::Hour;
        r.quantities = {"Energy"};
        return std::nullopt;
    }
    const auto text = target.value("week");
    const auto week =
        text ? archive::parseIsoWeek(*text) : archive::parseIsoWeek(archive::isoWeekName(now));
    if (!week) return problem(400, "week must be an ISO week such as 2026-W13");
    if (!inRequestTimeRange(week->start) || !inRequestTimeRange(week->end))
        return problem(400, "week" + std::string(kRequestTimeRangeText));
    r.from = week->start;
    r.to = week->end;
    r.resolution = archive::Resolution::Minute;
    r.quantities = {"V1", "V1_min", "V1_max", "V2", "V2_min", "V2_max", "V3", "V3_min", "V3_max"};
    return std::nullopt;
}

}  // namespace

std::string csvFileName(const MeterArchiveRequest& r) {
    std::string name = "TEV3P_";
    for (const char c : r.meter) name += safeInFileName(c) ? c : '_';
    if (r.name) {
        // Each run of other characters (blanks, accents, quotes) becomes one '_'; none at the
        // name's ends.
        std::string safe;
        for (const char c : *r.name) {
            if (safeInFileName(c))
                safe += c;
            else if (!safe.empty() && safe.back() != '_')
                safe += '_';
        }
        while (!safe.empty() && safe.back() == '_') safe.pop_back();
        if (!safe.empty()) name += '_' + safe;
    }
    name += '_';
    name += archive::resolutionName(r.resolution);
    name += ".csv";
    return name;
}

archive::ArchiveSeries withGapRows(archive::ArchiveSeries series) {
    std::vector<std::size_t> gapsAfter;
    for (std::size_t i = 0; i + 1 < series.time.size(); ++i)
        if (series.time[i + 1] > rowEnd(series.resolution, series.time[i])) gapsAfter.push_back(i);
    if (gapsAfter.empty()) return series;
    const std::size_t rows = series.time.size() + gapsAfter.size();
    std::vector<std::int64_t> time;
    time.reserve(rows);
    std::vector<std::vector<double>> values(series.values.size());
    for (auto& v : values) v.reserve(rows);
    std::size_t gap = 0;
    for (std::size_t i = 0; i < series.time.size(); ++i) {
        time.push_back(series.time[i]);
        for (std::size_t q = 0; q < values.size(); ++q)
            values[q].push_back(i < series.values[q].size() ? series.values[q][i] : std::nan(""));
        if (gap < gapsAfter.size() && gapsAfter[gap] == i) {
            time.push_back(rowEnd(series.resolution, series.time[i]));
            for (auto& v : values) v.push_back(std::nan(""));
            ++gap;
        }
    }
    series.time = std::move(time);
    series.values = std::move(values);
    return series;
}

std::optional<std::variant<MeterArchiveRequest, ApiResponse>> meterArchiveRequestFrom(
    const RequestTarget& target, std::int64_t now, archive::WeekStart weekStart) {
    if (now == 0) now = static_cast<std::int64_t>(std::time(nullptr));
    const std::string_view path = target.path;
    if (path.rfind(kMetersPrefix, 0) != 0) return std::nullopt;
    const std::string_view rest = path.substr(kMetersPrefix.size());
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return ApiResponse(problem(404, "no such API path"));
    const std::string_view id = rest.substr(0, slash);
    const std::string_view what = rest.substr(slash + 1);
    MeterArchiveRequest r;
    r.weekStart = weekStart;
    r.bom = bomAsked(target);
    if (what == "series")
        r.form = MeterArchiveRequest::Form::Series;
    else if (what == "export.csv")
        r.form = MeterArchiveRequest::Form::Csv;
    else if (what == "energy")
        r.form = MeterArchiveRequest::Form::Energy;
    else if (what == "quality")
        r.form = MeterArchiveRequest::Form::Quality;
    else if (what == "quality.csv")
        r.form = MeterArchiveRequest::Form::QualityCsv;
    else if (what == "insights")
        r.form = MeterArchiveRequest::Form::Insights;
    else
        return ApiResponse(problem(404, "no such API path"));
    if (id.size() != kMeterIdLength)
        return ApiResponse(problem(400, "a meter ID has 12 characters"));
    r.meter = std::string(id);

    if (r.form == MeterArchiveRequest::Form::Insights) {
        auto at = insightsAt(target, now);
        if (auto* refused = std::get_if<ApiResponse>(&at)) return ApiResponse(std::move(*refused));
        r.at = std::get<std::int64_t>(at);
        return r;
    }
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
        if (!inRequestTimeRange(**bound))
            return ApiResponse(problem(400, std::string(key) + std::string(kRequestTimeRangeText)));
    }
    if (r.from && r.to && *r.from > *r.to) return ApiResponse(problem(400, "from is after to"));
    if (r.form != MeterArchiveRequest::Form::Series && r.form != MeterArchiveRequest::Form::Csv) {
        if (auto refused = settleBounds(target, r, now)) return ApiResponse(std::move(*refused));
    }
    return r;
}

std::optional<std::variant<std::int64_t, ApiResponse>> siteInsightsAtFrom(
    const RequestTarget& target, std::int64_t now) {
    if (target.path != "/api/v1/insights") return std::nullopt;
    return insightsAt(target, now);
}

archive::SeriesQuery seriesQueryFor(const MeterArchiveRequest& request) {
    archive::SeriesQuery query;
    query.meter = request.meter;
    query.resolution = request.resolution;
    query.quantities = request.quantities;
    query.from = request.from;
    query.to = request.to;
    return query;
}

ApiResponse meterArchiveAnswer(const MeterArchiveRequest& request, archive::ArchiveSeries series,
                               const std::string& error, const alerts::Tariff* tariff,
                               std::int64_t now, double voltageNominal,
                               const archive::ReadStop* stop) {
    // The reader's text names the folder, which is no business of a browser; the event log
    // is where the cause is read.
    if (!error.empty()) return problem(503, "the archive cannot be read");
    if (now == 0) now = static_cast<std::int64_t>(std::time(nullptr));
    ApiResponse r;
    using Form = MeterArchiveRequest::Form;
    if (request.form == Form::Energy) {
        const auto energy =
            priceEnergy(request.period, series, request.from.value_or(0), request.to.value_or(now),
                        now, tariff, stop, request.weekStart);
        return {200,
                std::string(kJsonContentType),
                energyJson(request.meter, request.name, request.period, energy, tariff),
                {}};
    }
    if (request.form == Form::Quality || request.form == Form::QualityCsv) {
        const archive::WeekQuality q = archive::weekQuality(
            series, voltageNominal, request.from.value_or(0), request.to.value_or(0));
        if (request.form == Form::Quality)
            return {200,
                    std::string(kJsonContentType),
                    qualityJson(request.meter, request.name, q),
                    {}};
        r = {200,
             std::string(kCsvContentType),
             (request.bom ? std::string(kUtf8Bom) : std::string()) + qualityCsv(request.meter, q),
             {}};
        // "TEV3P_<id>_minute.csv" becomes "TEV3P_<id>_quality_2026-W13.csv".
        std::string name = csvFileName(request);
        name.resize(name.rfind('_') + 1);
        name += "quality_" + archive::isoWeekName(q.weekStart) + ".csv";
        r.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + name + "\"");
        return r;
    }
    if (request.form == MeterArchiveRequest::Form::Csv) {
        std::optional<archive::ExtraColumn> costs;
        if (tariff != nullptr && tariff->configured()) costs = archiveCostColumn(series, *tariff);
        r.stream = archiveCsvBody(std::move(series), std::move(costs));
        if (request.bom) r.stream = std::make_shared<PrefixedBody>(kUtf8Bom, std::move(r.stream));
        r.contentType = std::string(kCsvContentType);
        r.headers.emplace_back("Content-Disposition",
                               "attachment; filename=\"" + csvFileName(request) + "\"");
    } else {
        r.stream = archiveJsonBody(withGapRows(std::move(series)), &request.name);
        r.contentType = std::string(kJsonContentType);
    }
    return r;
}

ApiResponse meterArchiveResponse(const MeterArchiveRequest& request,
                                 const archive::ArchiveSeries& series, const std::string& error,
                                 const alerts::Tariff* tariff, std::int64_t now,
                                 double voltageNominal) {
    ApiResponse r = meterArchiveAnswer(request, series, error, tariff, now, voltageNominal);
    if (r.stream) {
        while (r.stream->next(r.body, 1 << 20)) {
        }
        r.stream.reset();
    }
    return r;
}

}  // namespace tev::web
