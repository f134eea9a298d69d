#include "services/fleet/rules/row_batch.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "services/fleet/rules/fleet_schema.h"

namespace tev::fleet {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kMillisPerSecond = 1000;
constexpr std::int64_t kMicrosPerSecond = 1000000;
// PostgreSQL's timestamps count microseconds from 2000-01-01 00:00 UTC.
constexpr std::int64_t kPostgresEpoch = 946684800;

template <typename T>
void appendBigEndian(std::string& out, T value) {
    char bytes[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<char>((value >> (8 * (sizeof(T) - 1 - i))) & 0xFF);
    out.append(bytes, sizeof bytes);
}

// Days since 1970-01-01 as a proleptic Gregorian date (Howard Hinnant's civil_from_days).
void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::string timestampText(std::int64_t seconds, int millis) {
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    int y = 0, m = 0, d = 0;
    civilFromDays(days, y, m, d);
    char text[48];
    const int h = static_cast<int>(rest / 3600), mi = static_cast<int>(rest / 60 % 60),
              s = static_cast<int>(rest % 60);
    if (millis < 0)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d+00", y, m, d, h, mi, s);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d+00", y, m, d, h, mi, s,
                      millis);
    return text;
}

// COPY's text format: backslash, tab, line feed and carriage return escaped.
void appendCopyText(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

void appendCopyNumber(std::string& out, double value) {
    const std::string n = exactNumber(value);
    out += n.empty() ? "\\N" : n;
}

std::string conflictKey(archive::OutboxTable table) {
    return table == archive::OutboxTable::Alerts ? "site, meter, t, rule, phase, event"
                                                 : "site, meter, t";
}

std::string updateSet(archive::OutboxTable table) {
    if (table == archive::OutboxTable::Alerts)
        return "value = EXCLUDED.value, threshold = EXCLUDED.threshold";
    std::string set;
    for (const std::string& c : fleetPeriodColumns())
        set += (set.empty() ? "" : ", ") + c + " = EXCLUDED." + c;
    return set;
}

}  // namespace

std::string utcTimestamp(std::int64_t unixSeconds) {
    return timestampText(unixSeconds, -1);
}

std::string utcTimestampMs(std::int64_t unixMilliseconds) {
    std::int64_t seconds = unixMilliseconds / kMillisPerSecond;
    std::int64_t millis = unixMilliseconds % kMillisPerSecond;
    if (millis < 0) {
        millis += kMillisPerSecond;
        --seconds;
    }
    return timestampText(seconds, static_cast<int>(millis));
}

std::string databaseKey(std::string_view raw) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(raw.size());
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b > 0x20 && b < 0x7f && b != '%') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

std::string exactNumber(double value) {
    if (std::isnan(value)) return {};
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

std::string stagingTable(archive::OutboxTable table) {
    return std::string("tev3p_in_") + archive::outboxTableName(table);
}

std::string createStagingSql(archive::OutboxTable table) {
    return "CREATE TEMP TABLE IF NOT EXISTS " + stagingTable(table) + " (LIKE " +
           archive::outboxTableName(table) + ") ON COMMIT DELETE ROWS";
}

bool binaryCopy(archive::OutboxTable table) {
    return table != archive::OutboxTable::Alerts;
}

std::string copyIntoStagingSql(archive::OutboxTable table) {
    return "COPY " + stagingTable(table) + " FROM STDIN" +
           (binaryCopy(table) ? " WITH (FORMAT binary)" : "");
}

std::string copyIntoTableSql(archive::OutboxTable table) {
    return std::string("COPY ") + archive::outboxTableName(table) + " FROM STDIN" +
           (binaryCopy(table) ? " WITH (FORMAT binary)" : "");
}

std::string upsertFromStagingSql(archive::OutboxTable table) {
    // A period table's rows come from its key (meter, t) and stay unique; the alerts table has
    // no key, and one statement may not update a row twice: its doubles are sent once.
    const std::string rows =
        table == archive::OutboxTable::Alerts
            ? "SELECT DISTINCT ON (" + conflictKey(table) + ") * FROM " + stagingTable(table)
            : "SELECT * FROM " + stagingTable(table);
    return std::string("INSERT INTO ") + archive::outboxTableName(table) + " " + rows +
           " ON CONFLICT (" + conflictKey(table) + ") DO UPDATE SET " + updateSet(table);
}

void appendCopyRows(std::string& out, std::string_view site,
                    const std::vector<archive::PeriodRow>& rows) {
    for (const archive::PeriodRow& r : rows) {
        appendCopyText(out, site);
        out += '\t';
        appendCopyText(out, databaseKey(r.meter));
        out += '\t';
        out += utcTimestamp(r.t);
        for (const double v : r.values) {
            out += '\t';
            appendCopyNumber(out, v);
        }
        out += '\n';
    }
}

void appendBinaryCopyRows(std::string& out, std::string_view site,
                          const std::vector<archive::PeriodRow>& rows) {
    if (rows.empty()) return;
    out.reserve(out.size() + 32 + rows.size() * (2 + 8 * 3 + site.size() + 16 + 12 * 25));
    static constexpr char kSignature[] = "PGCOPY\n\377\r\n";  // and its closing zero byte
    out.append(kSignature, sizeof kSignature);
    appendBigEndian<std::uint32_t>(out, 0);  // flags
    appendBigEndian<std::uint32_t>(out, 0);  // header extension length
    const std::vector<std::string>& columns = fleetPeriodColumns();
    const auto appendText = [&out](std::string_view text) {
        appendBigEndian<std::uint32_t>(out, static_cast<std::uint32_t>(text.size()));
        out.append(text);
    };
    std::string meter;
    for (const archive::PeriodRow& r : rows) {
        appendBigEndian<std::uint16_t>(out, static_cast<std::uint16_t>(3 + r.values.size()));
        appendText(site);
        meter = databaseKey(r.meter);
        appendText(meter);
        appendBigEndian<std::uint32_t>(out, 8);
        appendBigEndian<std::uint64_t>(
            out, static_cast<std::uint64_t>((r.t - kPostgresEpoch) * kMicrosPerSecond));
        for (std::size_t i = 0; i < r.values.size(); ++i) {
            const double v = r.values[i];
            if (std::isnan(v)) {
                appendBigEndian<std::uint32_t>(out, 0xFFFFFFFFu);  // NULL
                continue;
            }
            appendBigEndian<std::uint32_t>(out, 8);
            // The message count is the one bigint column.
            if (i < columns.size() && columns[i] == "n")
                appendBigEndian<std::uint64_t>(
                    out, static_cast<std::uint64_t>(static_cast<std::int64_t>(v)));
            else
                appendBigEndian<std::uint64_t>(out, std::bit_cast<std::uint64_t>(v));
        }
    }
    appendBigEndian<std::uint16_t>(out, 0xFFFFu);  // the end
}

void appendCopyRows(std::string& out, std::string_view site,
                    const std::vector<archive::AlertRow>& rows) {
    for (const archive::AlertRow& a : rows) {
        appendCopyText(out, site);
        out += '\t';
        appendCopyText(out, databaseKey(a.meter));
        out += '\t';
        out += utcTimestampMs(a.timeMs);
        out += '\t';
        appendCopyText(out, databaseKey(a.rule));
        out += '\t';
        out += std::to_string(a.phase);
        out += '\t';
        appendCopyText(out, databaseKey(a.event));
        out += '\t';
        appendCopyNumber(out, a.value);
        out += '\t';
        appendCopyNumber(out, a.threshold);
        out += '\n';
    }
}

ParameterStatement insertRowsStatement(archive::OutboxTable table, std::string_view site,
                                       const std::vector<archive::PeriodRow>& rows) {
    ParameterStatement st;
    st.sql = std::string("INSERT INTO ") + archive::outboxTableName(table) + " (site, meter, t";
    for (const std::string& c : fleetPeriodColumns()) st.sql += ", " + c;
    st.sql += ") VALUES ";
    st.parameters.emplace_back(site);
    const auto next = [&st](std::string value) {
        st.parameters.push_back(std::move(value));
        return "$" + std::to_string(st.parameters.size());
    };
    bool first = true;
    for (const archive::PeriodRow& r : rows) {
        st.sql += first ? "($1, " : ", ($1, ";
        first = false;
        // One parameter after the other: the operands of + may be evaluated in any order.
        st.sql += next(databaseKey(r.meter));
        st.sql += ", " + next(utcTimestamp(r.t)) + "::timestamptz";
        for (const double v : r.values)
            st.sql += ", NULLIF(" + next(exactNumber(v)) + ", '')::double precision";
        st.sql += ')';
    }
    st.sql += " ON CONFLICT (" + conflictKey(table) + ") DO UPDATE SET " + updateSet(table);
    return st;
}

std::string upsertMeterSql() {
    return "INSERT INTO meters (site, id, first_seen) VALUES ($1, $2, $3::timestamptz) ON "
           "CONFLICT (site, id) DO UPDATE SET first_seen = LEAST(meters.first_seen, "
           "EXCLUDED.first_seen)";
}

std::string latestRowSql(archive::OutboxTable table) {
    return std::string(
               "SELECT extract(epoch FROM max(l.t))::bigint FROM meters AS m CROSS JOIN "
               "LATERAL (SELECT p.t FROM ") +
           archive::outboxTableName(table) +
           " AS p WHERE p.site = m.site AND p.meter = m.id ORDER BY p.t DESC LIMIT 1) AS l WHERE "
           "m.site = $1";
}

std::string heldRowsSql(archive::OutboxTable table) {
    const std::string name = archive::outboxTableName(table);
    if (table == archive::OutboxTable::Alerts)
        return "SELECT meter, count(*), (extract(epoch FROM max(t)) * 1000)::bigint FROM " + name +
               " WHERE site = $1 AND t >= to_timestamp($2::bigint / 1000.0) GROUP BY meter";
    return "SELECT meter, count(*), extract(epoch FROM max(t))::bigint FROM " + name +
           " WHERE site = $1 AND t >= to_timestamp($2::bigint) AND t < to_timestamp($3::bigint) "
           "GROUP BY meter";
}

}  // namespace tev::fleet
