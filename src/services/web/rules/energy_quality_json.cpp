#include "services/web/rules/energy_quality_json.h"

#include <ctime>
#include <optional>

#include "core/texts/csv_text.h"
#include "core/texts/json_text.h"
#include "services/archive/rules/local_time.h"

namespace tev::web {
namespace {

constexpr int kKwhDecimals = 4;
constexpr int kCostDecimals = 4;
constexpr int kShareDecimals = 3;
constexpr int kVoltDecimals = 1;
constexpr const char* kPhaseNames[] = {"L1", "L2", "L3"};

void appendVolts(std::string& out, const std::optional<double>& v) {
    if (v)
        appendJsonFixed(out, *v, kVoltDecimals, true);
    else
        out += "null";
}

const archive::Quantity& energyQuantity() {
    return *archive::findQuantity("Energy");
}

void appendName(std::string& out, const MeterName& name) {
    out += ",\"name\":";
    if (name)
        appendJsonString(out, *name);
    else
        out += "null";
}

template <typename T, typename Write>
void appendArray(std::string& out, const std::vector<T>& values, Write write) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) out += ',';
        write(out, values[i]);
    }
    out += ']';
}

}  // namespace

archive::PeriodEnergy priceEnergy(archive::EnergyPeriod period, const archive::ArchiveSeries& hours,
                                  std::int64_t from, std::int64_t to, std::int64_t now,
                                  const alerts::Tariff* tariff, const archive::ReadStop* stop,
                                  archive::WeekStart weekStart) {
    std::vector<double> kwh(hours.time.size(), 0.0);
    for (std::size_t q = 0; q < hours.quantities.size(); ++q)
        if (hours.quantities[q] == &energyQuantity()) kwh = hours.values[q];
    archive::EnergyPricing pricing;
    // One pricer for all the hours: it looks each band edge of a day up once.
    std::optional<alerts::TariffPricer> pricer;
    if (tariff != nullptr && tariff->configured()) {
        pricer.emplace(*tariff);
        pricing.energyCost = [&pricer](double k, std::int64_t a, std::int64_t b) {
            return pricer->energyCost(k, static_cast<std::time_t>(a), static_cast<std::time_t>(b));
        };
        pricing.standingCharge = [tariff](std::int64_t day) {
            return tariff->standingChargeOn(static_cast<std::time_t>(day));
        };
    }
    return archive::energyPerPeriod(period, hours.time, kwh, from, to, now, pricing, stop,
                                    weekStart);
}

std::string energyJson(const std::string& meter, const MeterName& name,
                       archive::EnergyPeriod period, const archive::PeriodEnergy& e,
                       const alerts::Tariff* tariff) {
    const bool priced = tariff != nullptr && tariff->configured();
    // A period without any row: no figure rather than 0 kWh and its standing charge.
    auto empty = [&e](std::size_t i) { return i < e.empty.size() && e.empty[i]; };
    std::string out = "{\"meter\":";
    appendJsonString(out, meter);
    appendName(out, name);
    out += ",\"period\":";
    appendJsonString(out, archive::energyPeriodName(period));
    out += ",\"currency\":";
    if (priced)
        appendJsonString(out, tariff->currency());
    else
        out += "null";
    out += ",\"time\":";
    appendArray(out, e.time, [](std::string& o, std::int64_t t) { appendJsonInteger(o, t); });
    auto column = [&](const std::vector<double>& values, int decimals) {
        out += '[';
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i) out += ',';
            if (empty(i))
                out += "null";
            else
                appendJsonFixed(out, values[i], decimals, true);
        }
        out += ']';
    };
    out += ",\"kwh\":";
    column(e.kwh, kKwhDecimals);
    out += ",\"cost\":";
    if (priced)
        column(e.cost, kCostDecimals);
    else
        out += "null";
    out += ",\"partial\":[";
    for (std::size_t i = 0; i < e.partial.size(); ++i) {
        if (i) out += ',';
        out += e.partial[i] && !empty(i) ? "true" : "false";
    }
    out += ']';
    out += '}';
    return out;
}

namespace {

std::string qualityText(const std::string& meter, const MeterName& name,
                        const archive::WeekQuality& q, bool withName) {
    std::string out = "{\"meter\":";
    appendJsonString(out, meter);
    if (withName) appendName(out, name);
    out += ",\"week\":";
    appendJsonString(out, archive::isoWeekName(q.weekStart));
    out += ",\"from\":";
    appendJsonInteger(out, q.weekStart);
    out += ",\"to\":";
    appendJsonInteger(out, q.weekEnd);
    out += ",\"nominal_v\":";
    appendJsonFixed(out, q.nominalVolts, kVoltDecimals, true);
    out += q.nominalAssumed ? ",\"nominal_assumed\":true" : ",\"nominal_assumed\":false";
    out += ",\"required_share\":";
    appendJsonFixed(out, archive::kQualityRequiredShare, 0, true);
    out += ",\"required_coverage\":";
    appendJsonFixed(out, archive::kQualityRequiredCoverage, 0, true);
    out += ",\"live_share\":";
    appendJsonFixed(out, 100 * archive::kQualityLiveFraction, 0, true);
    out += ",\"week_windows\":";
    appendJsonInteger(out, q.weekWindows);
    out += ",\"minutes\":";
    appendJsonInteger(out, q.minutes);
    out += ",\"phases\":[";
    for (std::size_t p = 0; p < q.phases.size(); ++p) {
        const archive::PhaseQuality& ph = q.phases[p];
        out += p ? ",{\"phase\":\"" : "{\"phase\":\"";
        out += kPhaseNames[p];
        out += "\",\"windows\":";
        appendJsonInteger(out, ph.windows);
        out += ",\"coverage\":";
        appendJsonFixed(out, ph.coverage, kShareDecimals, true);
        out += ",\"in_band\":";
        appendJsonInteger(out, ph.windowsInBand);
        out += ",\"share\":";
        appendJsonFixed(out, ph.shareInBand, kShareDecimals, true);
        out += ",\"dead_windows\":";
        appendJsonInteger(out, ph.deadWindows);
        out += ",\"dip_minutes\":";
        appendJsonInteger(out, ph.dipMinutes);
        out += ",\"swell_minutes\":";
        appendJsonInteger(out, ph.swellMinutes);
        out += ",\"lowest_v\":";
        appendVolts(out, ph.lowestVolts);
        out += ",\"highest_v\":";
        appendVolts(out, ph.highestVolts);
        out += ",\"verdict\":";
        appendJsonString(out, archive::qualityVerdictName(ph.verdict));
        out += '}';
    }
    out += "],\"worst_unbalance\":";
    if (q.worstUnbalance) {
        appendJsonFixed(out, *q.worstUnbalance, kShareDecimals, true);
        out += ",\"worst_unbalance_at\":";
        appendJsonInteger(out, q.worstUnbalanceAt);
    } else {
        out += "null,\"worst_unbalance_at\":null";
    }
    out += ",\"unbalance_windows\":";
    appendJsonInteger(out, q.unbalanceWindows);
    out += '}';
    return out;
}

}  // namespace

std::string qualityJson(const std::string& meter, const archive::WeekQuality& q) {
    return qualityText(meter, std::nullopt, q, false);
}

std::string qualityJson(const std::string& meter, const MeterName& name,
                        const archive::WeekQuality& q) {
    return qualityText(meter, name, q, true);
}

std::string qualityCsv(const std::string& meter, const archive::WeekQuality& q) {
    std::string out =
        "week,meter,phase,nominal_V,windows,coverage_pct,windows_in_band,share_in_band_pct,"
        "dead_windows,dip_minutes,swell_minutes,lowest_V,highest_V,verdict,worst_unbalance_pct,"
        "worst_unbalance_time\n";
    // The meter ID comes from the request path or the command line: any 12 characters, so
    // quoted and defused as a text cell.
    const std::string meterCell = csvTextCell(meter);
    for (std::size_t p = 0; p < q.phases.size(); ++p) {
        const archive::PhaseQuality& ph = q.phases[p];
        std::string line =
            archive::isoWeekName(q.weekStart) + ',' + meterCell + ',' + kPhaseNames[p];
        for (const double v : {q.nominalVolts, double(ph.windows)})
            line += ',' + archive::numberText(v);
        line += ',';
        appendJsonFixed(line, ph.coverage, kShareDecimals, true);
        line += ',' + archive::numberText(ph.windowsInBand) + ',';
        appendJsonFixed(line, ph.shareInBand, kShareDecimals, true);
        for (const double v :
             {double(ph.deadWindows), double(ph.dipMinutes), double(ph.swellMinutes)})
            line += ',' + archive::numberText(v);
        // An empty cell for extremes of a phase without readings.
        for (const std::optional<double>& v : {ph.lowestVolts, ph.highestVolts})
            line += ',' + (v ? archive::numberText(*v) : std::string());
        line += ',';
        line += archive::qualityVerdictName(ph.verdict);
        line += ',';
        if (q.worstUnbalance) {
            appendJsonFixed(line, *q.worstUnbalance, kShareDecimals, true);
            line += ',' + archive::isoLocal(q.worstUnbalanceAt);
        } else {
            line += ',';
        }
        out += line + '\n';
    }
    return out;
}

}  // namespace tev::web
