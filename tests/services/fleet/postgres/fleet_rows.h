#pragma once

#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "services/archive/rules/outbox.h"
#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/sqlite_db.h"
#include "services/fleet/postgres/pg_connection.h"
#include "services/fleet/rules/fleet_schema.h"

namespace tev::testing {

using PeriodValues = std::array<double, archive::kPeriodValueCount>;
using PeriodTable = std::map<std::pair<std::string, std::int64_t>, PeriodValues>;

// Every row of a minute, hour or day table of a folder's archive, by (meter, t).
inline PeriodTable localRows(const std::string& folder, const std::string& table) {
    PeriodTable rows;
    archive::SqliteDb db;
    if (db.open(archive::archivePath(folder), true, false) != 0) return rows;
    std::string sql = "SELECT meter, t";
    for (const std::string& c : archive::periodColumns()) sql += ", " + c;
    archive::SqliteStatement s(db, sql + " FROM " + table);
    while (s.step() == 100 /* SQLITE_ROW */) {
        PeriodValues& v = rows[{s.columnText(0), s.columnInt(1)}];
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = s.columnIsNull(static_cast<int>(i) + 2)
                       ? NAN
                       : s.columnDouble(static_cast<int>(i) + 2);
    }
    return rows;
}

// The same table of one site in the fleet database.
inline PeriodTable fleetRows(fleet::PgConnection& db, const std::string& site,
                             const std::string& table) {
    PeriodTable rows;
    std::string sql = "SELECT meter, extract(epoch FROM t)::bigint";
    for (const std::string& c : fleet::fleetPeriodColumns()) sql += ", " + c;
    const fleet::PgResult r = db.execParams(sql + " FROM " + table + " WHERE site = $1", {site});
    for (int i = 0; i < r.rows(); ++i) {
        PeriodValues& v = rows[{r.text(i, 0), std::atoll(r.text(i, 1).c_str())}];
        for (std::size_t c = 0; c < v.size(); ++c)
            v[c] = r.isNull(i, static_cast<int>(c) + 2)
                       ? NAN
                       : std::strtod(r.text(i, static_cast<int>(c) + 2).c_str(), nullptr);
    }
    return rows;
}

// Equal keys and, value by value, equal doubles (NULL meets NULL).
inline bool sameRows(const PeriodTable& a, const PeriodTable& b) {
    if (a.size() != b.size()) return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        if (i->first != j->first) return false;
        for (std::size_t c = 0; c < i->second.size(); ++c) {
            const double x = i->second[c], y = j->second[c];
            if (!(x == y || (std::isnan(x) && std::isnan(y)))) return false;
        }
    }
    return true;
}

inline std::int64_t countOf(fleet::PgConnection& db, const std::string& sql) {
    const fleet::PgResult r = db.exec(sql);
    return r.ok() && r.rows() == 1 ? std::atoll(r.text(0, 0).c_str()) : -1;
}

}  // namespace tev::testing
