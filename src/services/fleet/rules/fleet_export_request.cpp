#include "services/fleet/rules/fleet_export_request.h"

#include "services/fleet/rules/row_batch.h"

namespace tev::fleet {

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
