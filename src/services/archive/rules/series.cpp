#include "services/archive/rules/series.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "services/archive/rules/local_time.h"

namespace tev::archive {

std::string_view resolutionName(Resolution r) {
    switch (r) {
        case Resolution::Minute:
            return "minute";
        case Resolution::Hour:
            return "hour";
        case Resolution::Day:
            return "day";
    }
    return "hour";
}

bool parseResolution(std::string_view text, Resolution& r) {
    for (Resolution c : {Resolution::Minute, Resolution::Hour, Resolution::Day})
        if (text == resolutionName(c)) {
            r = c;
            return true;
        }
    return false;
}

const std::vector<Quantity>& archiveQuantities() {
    static const std::vector<Quantity> q = {
        {"V1", "V", "v1_mean"},     {"V1_min", "V", "v1_min"},    {"V1_max", "V", "v1_max"},
        {"V2", "V", "v2_mean"},     {"V2_min", "V", "v2_min"},    {"V2_max", "V", "v2_max"},
        {"V3", "V", "v3_mean"},     {"V3_min", "V", "v3_min"},    {"V3_max", "V", "v3_max"},
        {"A1", "A", "a1_mean"},     {"A1_min", "A", "a1_min"},    {"A1_max", "A", "a1_max"},
        {"A2", "A", "a2_mean"},     {"A2_min", "A", "a2_min"},    {"A2_max", "A", "a2_max"},
        {"A3", "A", "a3_mean"},     {"A3_min", "A", "a3_min"},    {"A3_max", "A", "a3_max"},
        {"W1", "W", "w1_mean"},     {"W2", "W", "w2_mean"},       {"W3", "W", "w3_mean"},
        {"Watt", "W", "watt_mean"}, {"DayKWh", "kWh", "day_kwh"}, {"Energy", "kWh", "kwh"},
        {"Messages", "count", "n"},
    };
    return q;
}

const Quantity* findQuantity(std::string_view name) {
    for (const Quantity& q : archiveQuantities())
        if (q.name == name) return &q;
    return nullptr;
}

std::string numberText(double value) {
    if (!std::isfinite(value)) return "";
    // The meters' readings are single-precision: seven significant digits say all they hold,
    // and 228.1 stays 228.1 rather than the 228.100006 of its float.
    char text[64];
    std::snprintf(text, sizeof text, "%.7g", value);
    // A negative zero reads as 0 (returned whole: assigning into the string trips gcc 12's
    // false -Wrestrict warning in the sanitizer build).
    if (std::string_view(text) == "-0") return "0";
    return text;
}

void writeTidyCsvHeader(const ArchiveSeries& series, std::ostream& out, const ExtraColumn* extra) {
    out << "time";
    for (const Quantity* q : series.quantities) out << ',' << q->name << '_' << q->unit;
    if (extra != nullptr) out << ',' << extra->header;
    out << '\n';
}

void writeTidyCsvRows(const ArchiveSeries& series, std::ostream& out, std::size_t begin,
                      std::size_t end, const ExtraColumn* extra) {
    end = std::min(end, series.time.size());
    for (std::size_t row = begin; row < end; ++row) {
        out << isoLocal(series.time[row]);
        for (const auto& column : series.values) out << ',' << numberText(column[row]);
        if (extra != nullptr) out << ',' << (row < extra->cells.size() ? extra->cells[row] : "");
        out << '\n';
    }
}

void writeTidyCsv(const ArchiveSeries& series, std::ostream& out, const ExtraColumn* extra) {
    writeTidyCsvHeader(series, out, extra);
    writeTidyCsvRows(series, out, 0, series.time.size(), extra);
}

void writeSeriesJsonHead(const ArchiveSeries& series, std::ostream& out) {
    // Meter IDs are printable ASCII from the meter protocol; anything else is escaped anyway.
    out << "{\"meter\":\"";
    for (unsigned char c : series.meter) {
        if (c == '"' || c == '\\')
            out << '\\' << c;
        else if (c < 0x20 || c > 0x7e) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out << esc;
        } else
            out << c;
    }
    out << "\",\"resolution\":\"" << resolutionName(series.resolution) << "\",\"time\":[";
}

void writeSeriesJson(const ArchiveSeries& series, std::ostream& out) {
    writeSeriesJsonHead(series, out);
    for (std::size_t i = 0; i < series.time.size(); ++i) out << (i ? "," : "") << series.time[i];
    out << ']';
    for (std::size_t q = 0; q < series.quantities.size(); ++q) {
        out << ",\"" << series.quantities[q]->name << "\":[";
        const auto& column = series.values[q];
        for (std::size_t i = 0; i < column.size(); ++i) {
            const std::string n = numberText(column[i]);
            out << (i ? "," : "") << (n.empty() ? "null" : n);
        }
        out << ']';
    }
    out << "}\n";
}

}  // namespace tev::archive
