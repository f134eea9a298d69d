#include "services/fleet/rules/fleet_export_request.h"

#include <map>

#include "services/archive/rules/local_time.h"
#include "services/fleet/rules/row_batch.h"

namespace tev::fleet {

FleetExportRequest parseFleetExportArguments(const std::vector<std::string>& args,
                                             const std::string& hostName) {
    FleetExportRequest r;
    static const char* const kKnown[] = {"--fleet",   "--site",  "--meter",  "--resolution",
                                         "--from",    "--to",    "--format", "--password-file",
                                         "--sslmode", "--folder"};
    std::map<std::string, std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        const std::size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            r.errors.push_back(name + " needs a value");
            continue;
        }
        bool known = false;
        for (const char* k : kKnown) known = known || name == k;
        if (!known)
            r.errors.push_back("unknown option " + name);
        else
            given[name] = value;
    }
    auto take = [&](const char* key, const std::string& fallback = {}) {
        const auto it = given.find(key);
        return it == given.end() ? fallback : it->second;
    };
    r.url = take("--fleet");
    r.site = take("--site", hostName);
    r.meter = take("--meter");
    r.passwordFile = take("--password-file");
    r.sslmode = take("--sslmode");
    r.folder = take("--folder");
    if (r.url.empty()) r.errors.push_back("--fleet URL is needed");
    if (r.meter.empty()) r.errors.push_back("--meter ID is needed");
    if (r.site.empty()) r.errors.push_back("--site S is needed");
    if (!archive::parseResolution(take("--resolution", "hour"), r.resolution))
        r.errors.push_back("--resolution is minute, hour or day");
    const std::string format = take("--format", "tidy");
    if (format != "tidy" && format != "json") r.errors.push_back("--format is tidy or json");
    r.json = format == "json";
    for (const char* bound : {"--from", "--to"}) {
        if (!given.count(bound)) continue;
        const auto t = archive::parseIsoTime(given[bound]);
        if (!t)
            r.errors.push_back(std::string(bound) + " " + given[bound] +
                               " is not an ISO 8601 time such as 2026-12-08T10:00");
        else
            (std::string(bound) == "--from" ? r.from : r.to) = *t;
    }
    return r;
}

std::string seriesQuerySql(archive::Resolution resolution) {
    std::string sql = "SELECT extract(epoch FROM t)::bigint";
    for (const archive::Quantity& q : archive::archiveQuantities())
        sql += ", " + std::string(q.column);
    sql += " FROM " + std::string(archive::resolutionName(resolution)) +
           "s WHERE site = $1 AND meter = $2 AND t >= $3::timestamptz AND t < $4::timestamptz "
           "ORDER BY t";
    return sql;
}

std::string boundParameter(const std::optional<std::int64_t>& t, bool lower) {
    if (!t) return lower ? "-infinity" : "infinity";
    return utcTimestamp(*t);
}

}  // namespace tev::fleet
