// One meter's archive request on any bytes: the bytes are what follows
// "/api/v1/meters/XXXXXXXXXXXX/" (export.csv, series, energy, quality, quality.csv and their
// from=, to=, period=, week=, resolution= and quantities=), read at a present the first byte
// picks. A request that is not refused is answered from a tiny archive (a few hour and minute
// rows) through the real answer functions, priced by a tariff. Nothing may crash, every time a
// request settles on lies within the request times, an energy answer holds at most
// kMaxEnergyPeriods periods, and every answer stays small.
#include <stdlib.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/settings/ini_document.h"
#include "services/archive/rules/energy_periods.h"
#include "services/web/rules/meter_archive_api.h"

namespace {

using tev::web::MeterArchiveRequest;

void fail(const char* what, const std::string& target) {
    std::fprintf(stderr, "%s: %s\n", what, target.c_str());
    std::abort();
}

// A few rows of each quantity the request asks for, an hour (or a minute) apart from `start`.
tev::archive::ArchiveSeries tinyArchive(const MeterArchiveRequest& r, std::int64_t start) {
    tev::archive::ArchiveSeries s;
    s.meter = r.meter;
    s.resolution = r.resolution;
    if (r.quantities.empty()) {
        for (const tev::archive::Quantity& q : tev::archive::archiveQuantities())
            s.quantities.push_back(&q);
    } else {
        for (const std::string& name : r.quantities)
            s.quantities.push_back(tev::archive::findQuantity(name));
    }
    s.values.resize(s.quantities.size());
    const std::int64_t step = r.resolution == tev::archive::Resolution::Minute ? 60 : 3600;
    for (int row = 0; row < 4; ++row) {
        s.time.push_back(start + row * step);
        for (auto& column : s.values) column.push_back(row == 2 ? NAN : 230.0 + row);
    }
    return s;
}

const tev::alerts::Tariff& tariff() {
    static const tev::alerts::TariffLoad load = tev::alerts::loadTariff(tev::IniDocument::parse(
        "[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
        "band_1=mon-fri 07:30-23:00 0.40\n"));
    return load.tariff;
}

// Periods in an energy answer's "time" array.
std::size_t periodsIn(const std::string& body) {
    const auto open = body.find("\"time\":[");
    const auto close = body.find(']', open);
    if (open == std::string::npos || close == std::string::npos) return 0;
    std::size_t commas = 0;
    for (std::size_t i = open; i < close; ++i) commas += body[i] == ',';
    return close == open + 8 ? 0 : commas + 1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "Europe/Berlin", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 512) return 0;
    // The present: one of the request times' edges or a day in 2026.
    const std::int64_t presents[] = {1796720400, 1, tev::web::kLatestRequestTime - 1, 951782400};
    const std::int64_t now = presents[data[0] % 4];
    const std::string target = "/api/v1/meters/XXXXXXXXXXXX/" +
                               std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    const tev::web::ParsedTarget parsed = tev::web::parseRequestTarget(target);
    if (parsed.problem != tev::web::TargetProblem::None) return 0;
    const auto archived = tev::web::meterArchiveRequestFrom(parsed.target, now);
    if (!archived) fail("an archive path left alone", target);
    if (const auto* refused = std::get_if<tev::web::ApiResponse>(&*archived)) {
        if (refused->status != 400 && refused->status != 404) fail("a refusal not 400", target);
        return 0;
    }
    const auto& request = std::get<MeterArchiveRequest>(*archived);
    for (const auto& bound : {request.from, request.to}) {
        // A default energy request begins 13 months before the present at most.
        if (bound && (*bound < tev::web::kEarliestRequestTime - 400 * 86400 ||
                      *bound > tev::web::kLatestRequestTime + 400 * 86400))
            fail("a bound outside the request times", target);
    }
    const std::int64_t start = request.from.value_or(now);
    const tev::web::ApiResponse r = tev::web::meterArchiveResponse(
        request, tinyArchive(request, start), "", &tariff(), now, 230);
    if (r.status != 200) fail("a settled request not answered 200", target);
    if (r.body.size() > (1u << 20)) fail("an answer over a megabyte", target);
    if (request.form == MeterArchiveRequest::Form::Energy &&
        periodsIn(r.body) > static_cast<std::size_t>(tev::archive::kMaxEnergyPeriods))
        fail("more energy periods than allowed", target);
    return 0;
}
