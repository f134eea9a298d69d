#include "core/recordsio/csv_export.h"

#include <array>
#include <bit>

#include "core/recordsio/fixed_text.h"
#include "core/recordsio/record_columns.h"

namespace tev {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kBanner = "   < TEV-3P Electricity Monitor System >  Records   ";
constexpr std::string_view kHeaderWithTime =
    "Date, Time, KWh, K1, K2, K3, Amp, A1, A2, A3, Watt, W1, W2, W3, Vac1, Vac2, Vac3 ";
constexpr std::string_view kHeaderWithoutTime =
    "Date, KWh, K1, K2, K3, Amp, A1, A2, A3, Watt, W1, W2, W3, Vac1, Vac2, Vac3 ";

struct ScaleExportTexts {
    std::string_view fileName;
    std::string_view countLabel;
};

constexpr std::array<ScaleExportTexts, kScaleCount> kScaleTexts = {{
    {"TEV3P_Records_Minute.csv", "   Minute Records= "},
    {"TEV3P_Records_5-Minute.csv", "   5-Min Records= "},
    {"TEV3P_Records_10-Minute.csv", "   10-Min Records= "},
    {"TEV3P_Records_Hour.csv", "   Hour Records= "},
    {"TEV3P_Records_Day.csv", "   Day Records= "},
    {"TEV3P_Records_Week.csv", "   Week Records= "},
    {"TEV3P_Records_Month.csv", "   Month Records= "},
}};

// Longest data line: a date, a time and fifteen numbers with their commas, with room to spare.
constexpr std::size_t kTypicalLineBytes = 96;

}  // namespace

std::string_view csvProposedFileName(TimeScale scale) {
    if (!isValidScale(static_cast<int>(scale))) return {};
    return kScaleTexts[scaleIndex(scale)].fileName;
}

std::string csvCountLine(TimeScale scale, std::int32_t cnt) {
    if (!isValidScale(static_cast<int>(scale))) return {};
    std::string line(kScaleTexts[scaleIndex(scale)].countLabel);
    appendInteger(line, cnt);
    line += "    ";
    return line;
}

std::string exportCsv(const ScaleTable& table) {
    const bool withTime = hasTimeOfDay(table.scale());
    std::string out;
    const int newest = lastReadableRow(table);
    out.reserve(256 +
                (table.cnt > 0 ? static_cast<std::size_t>(newest + 1) * kTypicalLineBytes : 0));
    out += kBanner;
    out += kLineEnd;
    out += csvCountLine(table.scale(), table.cnt);
    out += kLineEnd;
    out += withTime ? kHeaderWithTime : kHeaderWithoutTime;
    out += kLineEnd;
    if (table.cnt <= 0) return out;
    for (int i = newest; i >= 0; --i) {
        appendInteger(out, table.date(i));
        out += ',';
        if (withTime) {
            appendTimeOfDay(out, table.time(i));
            out += ',';
        }
        // Unlike the grid, the energy keeps two decimals on every scale.
        for (const QuantityField& f : kQuantityFields) {
            appendFixed(out, table.value(f.column, i), f.decimals);
            out += ',';
        }
        out += kLineEnd;
    }
    out += kLineEnd;
    out += kLineEnd;
    return out;
}

}  // namespace tev
