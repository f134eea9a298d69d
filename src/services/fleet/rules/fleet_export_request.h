#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "services/archive/rules/series.h"

namespace tev::fleet {

// `tev3p export --fleet URL [--site S] --meter ID [--resolution minute|hour|day] [--from ISO]
// [--to ISO] [--format tidy|json] [--password-file F] [--sslmode M] [--folder DIR]`: one
// meter's rows of one site read back from the fleet database.
struct FleetExportRequest {
    std::string url;
    std::string site;  // default the host name, as the recorder's own site
    std::string meter;
    archive::Resolution resolution = archive::Resolution::Hour;
    std::optional<std::int64_t> from, to;
    bool json = false;
    std::string passwordFile;
    std::string sslmode;
    std::string folder;  // its tev3p.ini's tariff adds the cost column; empty: none
};

// The query of a meter's rows: parameters $1 site, $2 meter (as the database keeps it), $3 and
// $4 the bounds as timestamptz text; the columns are the Unix seconds and every quantity.
std::string seriesQuerySql(archive::Resolution resolution);
// A bound as the query's parameter: a UTC timestamp, or ±infinity when not given.
std::string boundParameter(const std::optional<std::int64_t>& t, bool lower);

}  // namespace tev::fleet
