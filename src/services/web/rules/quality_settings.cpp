#include "services/web/rules/quality_settings.h"

#include <charconv>

namespace tev::web {
namespace {

constexpr double kLowestNominal = 50;
constexpr double kHighestNominal = 1000;

}  // namespace

double loadVoltageNominal(const IniDocument& ini, std::optional<double> fallback,
                          std::vector<ConfigProblem>& problems) {
    double nominal = fallback.value_or(0);
    for (const IniGroup* group : ini.find("quality")) {
        for (const IniEntry& e : group->entries) {
            if (e.key != "voltage_nominal") {
                problems.push_back({e.line, e.key + ": unknown key in [quality]"});
                continue;
            }
            double v = 0;
            const char* end = e.value.data() + e.value.size();
            const auto [ptr, ec] = std::from_chars(e.value.data(), end, v);
            if (ec != std::errc() || ptr != end || !(v >= kLowestNominal && v <= kHighestNominal)) {
                problems.push_back({e.line, "voltage_nominal=" + e.value.substr(0, 20) +
                                                ": not a voltage from 50 to 1000"});
                continue;
            }
            nominal = v;
        }
    }
    return nominal;
}

archive::WeekStart loadWeekStart(const IniDocument& ini, std::vector<ConfigProblem>& problems) {
    archive::WeekStart weekStart = archive::WeekStart::Monday;
    for (const IniGroup* group : ini.find("dashboard")) {
        for (const IniEntry& e : group->entries) {
            if (e.key != "week_start")
                problems.push_back({e.line, e.key + ": unknown key in [dashboard]"});
            else if (!archive::parseWeekStart(e.value, weekStart))
                problems.push_back(
                    {e.line, "week_start=" + e.value.substr(0, 20) + ": not monday or sunday"});
        }
    }
    return weekStart;
}

}  // namespace tev::web
