#include "services/archive/rules/day_file_import.h"

#include <charconv>
#include <cmath>

#include "services/archive/rules/local_time.h"
#include "services/archive/rules/period_stats.h"

namespace tev::archive {
namespace {

constexpr int kSlots = 144;
constexpr std::int64_t kSlotSeconds = 600;

bool parseNumber(std::string_view field, double& value) {
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    if (field.empty()) return false;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    return ec == std::errc() && end == field.data() + field.size() && std::isfinite(value);
}

}  // namespace

std::vector<TenMinuteRow> tenMinuteRowsOfDayLine(std::string_view line) {
    std::vector<double> fields;
    fields.reserve(kSlots + 2);
    while (!line.empty()) {
        const std::size_t comma = line.find(',');
        const std::string_view field = line.substr(0, comma);
        if (comma == std::string_view::npos && field.find_first_not_of(' ') == field.npos) break;
        double v = 0;
        if (!parseNumber(field, v)) return {};
        fields.push_back(v);
        if (comma == std::string_view::npos) break;
        line.remove_prefix(comma + 1);
    }
    if (fields.size() != kSlots + 2 || fields[0] != std::floor(fields[0])) return {};
    const std::optional<std::int64_t> midnight =
        localMidnightOfMeterDate(static_cast<std::int32_t>(fields[0]));
    if (!midnight) return {};

    std::vector<TenMinuteRow> rows;
    double previous = 0;  // the day energy starts from zero at the meter's midnight
    for (int slot = 0; slot < kSlots; ++slot) {
        const double dayEnergy = fields[2 + slot];
        if (dayEnergy <= 0) continue;
        // Ten-minute steps counted from midnight; a summer-time change day keeps its slots.
        rows.push_back(
            {*midnight + slot * kSlotSeconds, dayEnergy, energyBetween(previous, dayEnergy)});
        previous = dayEnergy;
    }
    return rows;
}

std::vector<TenMinuteRow> tenMinuteRowsOfDayFile(std::string_view contents) {
    std::vector<TenMinuteRow> rows;
    while (!contents.empty()) {
        const std::size_t end = contents.find_first_of("\r\n");
        const std::string_view line = contents.substr(0, end);
        if (!line.empty()) {
            std::vector<TenMinuteRow> day = tenMinuteRowsOfDayLine(line);
            rows.insert(rows.end(), day.begin(), day.end());
        }
        if (end == std::string_view::npos) break;
        contents.remove_prefix(end + 1);
    }
    return rows;
}

}  // namespace tev::archive
