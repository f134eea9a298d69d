#include "services/archive/sqlite/archive_reader.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/sqlite_db.h"

namespace tev::archive {
namespace {

const char* tableOf(Resolution r) {
    switch (r) {
        case Resolution::Minute:
            return "minutes";
        case Resolution::Hour:
            return "hours";
        case Resolution::Day:
            return "days";
    }
    return "hours";
}

bool openReadOnly(const std::string& folder, SqliteDb& db, std::string& error,
                  const ReadStop* stop = nullptr) {
    const std::string path = archivePath(folder);
    // A read that would be interrupted at once is not begun.
    if (stop != nullptr && stop->stopped()) {
        error = std::string(kArchiveFileName) + ": the read was given up";
        return false;
    }
    if (!std::filesystem::exists(path)) {
        error = std::string(kArchiveFileName) + " is not in " + folder;
        return false;
    }
    if (db.open(path, true, false) != SQLITE_OK) {
        error = std::string(kArchiveFileName) + ": " + db.error();
        return false;
    }
    db.interruptWhen(stop);
    return true;
}

}  // namespace

ArchiveSeries queryArchiveSeries(const std::string& folder, const SeriesQuery& query,
                                 std::string& error) {
    error.clear();
    ArchiveSeries series;
    series.meter = query.meter;
    series.resolution = query.resolution;
    if (query.quantities.empty()) {
        for (const Quantity& q : archiveQuantities()) series.quantities.push_back(&q);
    } else {
        for (const std::string& name : query.quantities) {
            const Quantity* q = findQuantity(name);
            if (q == nullptr) {
                error = "no quantity " + name;
                return series;
            }
            series.quantities.push_back(q);
        }
    }
    series.values.resize(series.quantities.size());

    SqliteDb db;
    if (!openReadOnly(folder, db, error, query.stop)) return series;
    // Column names come from the fixed quantity table, never from the caller's text.
    std::string sql = "SELECT t";
    for (const Quantity* q : series.quantities) sql += ", " + std::string(q->column);
    sql += std::string(" FROM ") + tableOf(query.resolution) +
           " WHERE meter = ? AND t >= ? AND t < ? ORDER BY t";
    SqliteStatement s(db, sql);
    if (!s.valid()) {
        error = std::string(kArchiveFileName) + ": " + sqlite3_errmsg(db.handle());
        return series;
    }
    s.bind(1, std::string_view(query.meter));
    s.bind(2, query.from.value_or(INT64_MIN));
    s.bind(3, query.to.value_or(INT64_MAX));
    int rc = 0;
    while ((rc = s.step()) == SQLITE_ROW) {
        series.time.push_back(s.columnInt(0));
        // A row that counted no message holds no voltage or current (NULL): not a number, never
        // a reading of 0.
        for (std::size_t q = 0; q < series.quantities.size(); ++q) {
            const int c = static_cast<int>(q) + 1;
            series.values[q].push_back(s.columnIsNull(c) ? NAN : s.columnDouble(c));
        }
    }
    if (rc != SQLITE_DONE)
        error = std::string(kArchiveFileName) + ": " + sqlite3_errmsg(db.handle());
    return series;
}

std::vector<MeterEnergy> queryHourEnergy(const std::string& folder, std::int64_t from,
                                         std::string& error, const ReadStop* stop) {
    error.clear();
    std::vector<MeterEnergy> meters;
    SqliteDb db;
    if (!openReadOnly(folder, db, error, stop)) return meters;
    // The first hour of each meter comes from the key's order: one step per meter.
    SqliteStatement list(db,
                         "SELECT id, (SELECT MIN(t) FROM hours WHERE meter = id) FROM meters "
                         "ORDER BY id");
    SqliteStatement rows(
        db,
        "SELECT t, kwh, w1_mean, w2_mean, w3_mean FROM hours WHERE meter = ? AND t >= ? "
        "ORDER BY t");
    if (!list.valid() || !rows.valid()) {
        error = std::string(kArchiveFileName) + ": " + sqlite3_errmsg(db.handle());
        return meters;
    }
    int rc = 0;
    while ((rc = list.step()) == SQLITE_ROW) {
        MeterEnergy m;
        m.meter = list.columnText(0);
        m.firstRow = list.columnIsNull(1) ? 0 : list.columnInt(1);
        meters.push_back(std::move(m));
    }
    if (rc != SQLITE_DONE) {
        error = std::string(kArchiveFileName) + ": " + sqlite3_errmsg(db.handle());
        return meters;
    }
    for (MeterEnergy& m : meters) {
        rows.reset();
        rows.bind(1, std::string_view(m.meter));
        rows.bind(2, from);
        while ((rc = rows.step()) == SQLITE_ROW) {
            m.time.push_back(rows.columnInt(0));
            m.kwh.push_back(rows.columnIsNull(1) ? 0.0 : rows.columnDouble(1));
            std::array<double, 3> watts{};
            for (int p = 0; p < 3; ++p)
                watts[p] = rows.columnIsNull(2 + p) ? kNoPhaseWatts : rows.columnDouble(2 + p);
            m.phaseWatts.push_back(watts);
        }
        if (rc != SQLITE_DONE) {
            error = std::string(kArchiveFileName) + ": " + sqlite3_errmsg(db.handle());
            return meters;
        }
    }
    return meters;
}

namespace {

double valueOrNaN(const SqliteStatement& s, int column) {
    return s.columnIsNull(column) ? NAN : s.columnDouble(column);
}

// Binds the meter and the span to `s` and calls `row` for each of its rows; false with `error`
// set when the file cannot be read or the read was given up.
template <typename Row>
bool readMeterSpan(const std::string& folder, const char* sql, const std::string& meter,
                   std::int64_t from, std::int64_t to, std::string& error, const ReadStop* stop,
                   Row row) {
    error.clear();
    SqliteDb db;
    if (!openReadOnly(folder, db, error, stop)) return false;
    SqliteStatement s(db, sql);
    if (!s.valid()) {
        error = std::string(kArchiveFileName) + ": " + sqlite3_errmsg(db.handle());
        return false;
    }
    s.bind(1, std::string_view(meter));
    s.bind(2, from);
    s.bind(3, to);
    int rc = 0;
    while ((rc = s.step()) == SQLITE_ROW) row(s);
    if (rc != SQLITE_DONE) {
        error = std::string(kArchiveFileName) + ": " + sqlite3_errmsg(db.handle());
        return false;
    }
    return true;
}

}  // namespace

HourRows queryHourRows(const std::string& folder, const std::string& meter, std::int64_t from,
                       std::int64_t to, std::string& error, const ReadStop* stop) {
    HourRows rows;
    readMeterSpan(
        folder,
        "SELECT t, kwh, watt_mean, w1_mean, w2_mean, w3_mean FROM hours "
        "WHERE meter = ? AND t >= ? AND t < ? ORDER BY t",
        meter, from, to, error, stop, [&rows](const SqliteStatement& s) {
            rows.time.push_back(s.columnInt(0));
            rows.kwh.push_back(valueOrNaN(s, 1));
            rows.watts.push_back(valueOrNaN(s, 2));
            rows.phaseWatts.push_back({valueOrNaN(s, 3), valueOrNaN(s, 4), valueOrNaN(s, 5)});
        });
    return rows;
}

MinuteRows queryMinuteRows(const std::string& folder, const std::string& meter, std::int64_t from,
                           std::int64_t to, std::string& error, const ReadStop* stop) {
    MinuteRows rows;
    readMeterSpan(folder,
                  "SELECT t, watt_mean FROM minutes WHERE meter = ? AND t >= ? AND t < ? "
                  "ORDER BY t",
                  meter, from, to, error, stop, [&rows](const SqliteStatement& s) {
                      rows.time.push_back(s.columnInt(0));
                      rows.watts.push_back(valueOrNaN(s, 1));
                  });
    return rows;
}

std::vector<std::string> archivedMeters(const std::string& folder, std::string& error) {
    error.clear();
    std::vector<std::string> ids;
    SqliteDb db;
    if (!openReadOnly(folder, db, error)) return ids;
    SqliteStatement s(db, "SELECT id FROM meters ORDER BY id");
    while (s.step() == SQLITE_ROW) ids.push_back(s.columnText(0));
    return ids;
}

std::vector<AlertRecord> readRecentAlerts(const std::string& path, int limit) {
    std::vector<AlertRecord> out;
    if (!std::filesystem::exists(path)) return out;
    SqliteDb db;
    if (db.open(path, true, false) != SQLITE_OK) return out;
    SqliteStatement q(db,
                      "SELECT t_ms, meter, rule, phase, event, value, threshold FROM alerts "
                      "ORDER BY t_ms DESC, rowid DESC LIMIT ?");
    if (!q.valid()) return out;
    q.bind(1, static_cast<std::int64_t>(limit));
    while (q.step() == SQLITE_ROW)
        out.push_back(AlertRecord{q.columnInt(0), q.columnText(1), q.columnText(2),
                                  static_cast<int>(q.columnInt(3)), q.columnText(4) == "start",
                                  q.columnDouble(5), q.columnDouble(6)});
    std::reverse(out.begin(), out.end());
    return out;
}

}  // namespace tev::archive
