#include "services/report/rules/month_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

#include "core/texts/number_text.h"
#include "services/alerts/rules/alert_log_text.h"
#include "services/alerts/rules/alert_rules.h"
#include "services/archive/rules/local_time.h"
#include "services/web/rules/insights_json.h"

namespace tev::report {
namespace {

constexpr const char* kPhaseNames[] = {"L1", "L2", "L3"};
constexpr double kChartWidth = 680;
constexpr double kChartHeight = 170;
constexpr double kChartLeft = 44;    // room for the axis's numbers
constexpr double kChartBottom = 18;  // room for the bars' labels

// One text in the report's language: English, or Chinese then English as the dashboard has it.
struct Say {
    ReportLanguage language;
    std::string operator()(std::string_view english, std::string_view chinese) const {
        if (language == ReportLanguage::English) return std::string(english);
        return std::string(chinese) + " " + std::string(english);
    }
};

std::tm localTm(std::int64_t t) {
    const auto tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return tm;
}

std::string stamp(std::int64_t t, const char* format) {
    const std::tm tm = localTm(t);
    char buf[40];
    const std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

std::string dayText(std::int64_t t) {
    return stamp(t, "%Y-%m-%d");
}
std::string dayTimeText(std::int64_t t) {
    return stamp(t, "%Y-%m-%d %H:%M");
}

std::string weekdayText(std::int64_t t, const Say& say) {
    static constexpr const char* kEnglish[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kChinese[] = {"日", "一", "二", "三", "四", "五", "六"};
    const int w = localTm(t).tm_wday;
    return say(kEnglish[w], kChinese[w]);
}

std::string money(double v, const std::optional<std::string>& currency) {
    return formatFixed(v, 2) + (currency ? " " + htmlEscaped(*currency) : std::string());
}

std::string kwhText(double v) {
    return formatFixed(v, 2) + "&nbsp;kWh";
}
std::string wattText(double v) {
    return formatFixed(v, 0) + "&nbsp;W";
}

// A figure that may be missing: its text, or a dash.
template <typename T, typename Show>
std::string orDash(const std::optional<T>& v, Show show) {
    return v ? show(*v) : std::string("–");
}

// A vertical bar chart: one bar per value (a gap where there is none), the highest value on
// the axis, every bar's label under it. Black on white, so it prints in any ink.
struct Bar {
    std::string label;
    std::optional<double> value;
};
std::string barChart(const std::vector<Bar>& bars, std::string_view unit, int decimals,
                     const std::string& caption) {
    double top = 0;
    for (const Bar& b : bars)
        if (b.value && std::isfinite(*b.value)) top = std::max(top, *b.value);
    if (top <= 0) top = 1;
    const double plotW = kChartWidth - kChartLeft - 4;
    const double plotH = kChartHeight - kChartBottom - 8;
    const double slot = bars.empty() ? plotW : plotW / static_cast<double>(bars.size());
    std::string out = "<figure><svg viewBox=\"0 0 " + formatFixed(kChartWidth, 0) + " " +
                      formatFixed(kChartHeight, 0) + "\" role=\"img\"><title>" + caption +
                      "</title>";
    const double base = 8 + plotH;
    out += "<line x1=\"" + formatFixed(kChartLeft, 0) + "\" y1=\"8\" x2=\"" +
           formatFixed(kChartLeft, 0) + "\" y2=\"" + formatFixed(base, 1) +
           "\" stroke=\"#000\"/><line x1=\"" + formatFixed(kChartLeft, 0) + "\" y1=\"" +
           formatFixed(base, 1) + "\" x2=\"" + formatFixed(kChartWidth - 4, 0) + "\" y2=\"" +
           formatFixed(base, 1) + "\" stroke=\"#000\"/>";
    out += "<text x=\"" + formatFixed(kChartLeft - 3, 0) +
           "\" y=\"14\" text-anchor=\"end\" font-size=\"9\">" + formatFixed(top, decimals) +
           "</text><text x=\"" + formatFixed(kChartLeft - 3, 0) + "\" y=\"" + formatFixed(base, 1) +
           "\" text-anchor=\"end\" font-size=\"9\">0</text>";
    out += "<text x=\"2\" y=\"" + formatFixed(8 + plotH / 2, 1) + "\" font-size=\"9\">" +
           std::string(unit) + "</text>";
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const double x = kChartLeft + slot * static_cast<double>(i);
        const Bar& b = bars[i];
        if (b.value && std::isfinite(*b.value) && *b.value > 0) {
            const double h = plotH * *b.value / top;
            out += "<rect x=\"" + formatFixed(x + slot * 0.15, 1) + "\" y=\"" +
                   formatFixed(base - h, 1) + "\" width=\"" + formatFixed(slot * 0.7, 1) +
                   "\" height=\"" + formatFixed(h, 1) + "\" fill=\"#333\"><title>" + b.label +
                   ": " + formatFixed(*b.value, decimals) + " " + std::string(unit) +
                   "</title></rect>";
        }
        out += "<text x=\"" + formatFixed(x + slot / 2, 1) + "\" y=\"" +
               formatFixed(kChartHeight - 5, 0) + "\" text-anchor=\"middle\" font-size=\"8\">" +
               b.label + "</text>";
    }
    out += "</svg><figcaption>" + caption + "</figcaption></figure>\n";
    return out;
}

// Horizontal bars of a few named figures, each with its number beside it.
std::string compareChart(const std::vector<std::pair<std::string, std::optional<double>>>& rows,
                         const std::string& caption) {
    double top = 0;
    for (const auto& r : rows)
        if (r.second) top = std::max(top, *r.second);
    if (top <= 0) top = 1;
    constexpr double kRow = 22, kLabel = 230, kBarMax = 330;
    const double height = kRow * static_cast<double>(rows.size()) + 4;
    std::string out = "<figure><svg viewBox=\"0 0 " + formatFixed(kChartWidth, 0) + " " +
                      formatFixed(height, 0) + "\" role=\"img\"><title>" + caption + "</title>";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double y = 2 + kRow * static_cast<double>(i);
        out += "<text x=\"0\" y=\"" + formatFixed(y + 14, 0) + "\" font-size=\"10\">" +
               rows[i].first + "</text>";
        const std::optional<double>& v = rows[i].second;
        const double w = v ? kBarMax * std::max(0.0, *v) / top : 0;
        // The first bar, this month, is solid; the others are outlined.
        out += "<rect x=\"" + formatFixed(kLabel, 0) + "\" y=\"" + formatFixed(y + 3, 0) +
               "\" width=\"" + formatFixed(w, 1) + "\" height=\"14\" fill=\"" +
               (i == 0 ? "#333" : "#fff") + "\" stroke=\"#000\"/>";
        out += "<text x=\"" + formatFixed(kLabel + w + 6, 1) + "\" y=\"" + formatFixed(y + 14, 0) +
               "\" font-size=\"10\">" + (v ? formatFixed(*v, 2) + " kWh" : std::string("–")) +
               "</text>";
    }
    out += "</svg><figcaption>" + caption + "</figcaption></figure>\n";
    return out;
}

std::string dayLabel(std::int64_t day) {
    return std::to_string(localTm(day).tm_mday);
}

constexpr std::string_view kStyle =
    "@page { size: A4; margin: 15mm }\n"
    "body { font-family: 'DejaVu Sans', Arial, sans-serif; font-size: 9.5pt; color: #000; "
    "background: #fff; margin: 0 }\n"
    "h1 { font-size: 15pt; margin: 0 0 2mm } h2 { font-size: 12pt; margin: 5mm 0 2mm; "
    "border-bottom: 1px solid #000; break-after: avoid; page-break-after: avoid }\n"
    "h3 { font-size: 10pt; margin: 3mm 0 1mm; break-after: avoid; page-break-after: avoid }\n"
    ".sub { margin: 0 0 3mm }\n"
    "figure { margin: 0 0 2mm; break-inside: avoid; page-break-inside: avoid }\n"
    "figcaption { font-size: 8pt }\n"
    "svg { width: 100%; height: auto; display: block }\n"
    "table { border-collapse: collapse; width: 100%; break-inside: avoid; "
    "page-break-inside: avoid; margin: 0 0 2mm }\n"
    "th, td { border-bottom: 1px solid #888; padding: 0.5mm 2mm; text-align: right; "
    "vertical-align: top }\n"
    "th:first-child, td:first-child, th.text, td.text { text-align: left }\n"
    "tr.total td { border-top: 1.5px solid #000; font-weight: bold }\n"
    "dl { display: grid; grid-template-columns: max-content auto; gap: 0.5mm 4mm; margin: 0 0 "
    "2mm }\n"
    "dt { font-weight: bold } dd { margin: 0 }\n"
    "section { margin: 0 0 3mm }\n";

void section(std::string& out, std::string_view id, const std::string& heading) {
    out += "<section id=\"";
    out += id;
    out += "\"><h2>" + heading + "</h2>\n";
}

// A figure as a data- attribute, with the decimals of the evening answer's JSON, so that a
// program reading the page gets the number the text rounds: ` data-kwh="12.3456"`.
std::string data(std::string_view name, double value, int decimals) {
    return " data-" + std::string(name) + "=\"" + formatFixed(value, decimals) + "\"";
}
std::string data(std::string_view name, const std::optional<double>& value, int decimals) {
    return value ? data(name, *value, decimals) : std::string();
}

void fact(std::string& out, const std::string& term, const std::string& value,
          const std::string& attributes = {}) {
    out += "<dt>" + term + "</dt><dd" + attributes + ">" + value + "</dd>";
}

void writeEnergy(std::string& out, const MonthReport& r, const Say& say) {
    section(out, "energy", say("Energy per day", "每日用電"));
    std::vector<Bar> bars;
    for (const ReportDay& d : r.days) bars.push_back({dayLabel(d.day), d.kwh});
    out += barChart(bars, "kWh", 1, say("kWh per day", "每日度數"));
    const bool priced = r.currency.has_value();
    out += "<table class=\"days\"><thead><tr><th>" + say("Day", "日期") +
           "</th><th class=\"text\">" + say("Weekday", "星期") + "</th><th>" +
           say("Energy", "用電") + "</th>";
    if (priced) out += "<th>" + say("Cost", "電費") + "</th>";
    out += "</tr></thead><tbody>\n";
    int withRows = 0;
    for (const ReportDay& d : r.days) {
        if (d.kwh) ++withRows;
        out += "<tr><td>" + dayText(d.day) + "</td><td class=\"text\">" + weekdayText(d.day, say) +
               "</td><td>" + orDash(d.kwh, kwhText) + "</td>";
        if (priced)
            out +=
                "<td>" + orDash(d.cost, [&](double c) { return money(c, r.currency); }) + "</td>";
        out += "</tr>\n";
    }
    out += "<tr class=\"total\"" + data("kwh", r.kwh, 4) + data("cost", r.cost, 4) + "><td>" +
           say("Total", "合計") + "</td><td></td><td>" + kwhText(r.kwh) + "</td>";
    if (priced)
        out += "<td>" + orDash(r.cost, [&](double c) { return money(c, r.currency); }) + "</td>";
    out += "</tr>\n<tr class=\"average\"><td>" + say("Per day", "每日平均") + "</td><td></td><td>" +
           (withRows ? kwhText(r.kwh / withRows) : std::string("–")) + "</td>";
    if (priced)
        out += "<td>" +
               (withRows && r.cost ? money(*r.cost / withRows, r.currency) : std::string("–")) +
               "</td>";
    out += "</tr></tbody></table></section>\n";
}

void writeComparison(std::string& out, const MonthReport& r, const Say& say) {
    section(out, "comparison", say("Compared", "比較"));
    const archive::MonthFigures& f = r.figures;
    const std::optional<double> now = f.kwhToDate;
    out += compareChart({{say("This month", "本月"), now},
                         {say("The month before", "上個月"), f.lastMonthKwh},
                         {say("The same month last year", "去年同月"), f.lastYearKwh}},
                        say("Energy of the whole month", "整月用電"));
    out += "<dl>";
    auto change = [&](const std::optional<double>& before) {
        if (!before || *before <= 0) return std::string("–");
        const double pct = 100 * (f.kwhToDate - *before) / *before;
        return (pct >= 0 ? "+" : "") + formatFixed(pct, 1) + "&nbsp;%";
    };
    fact(out, say("This month", "本月"), kwhText(f.kwhToDate),
         " class=\"month\"" + data("kwh", f.kwhToDate, 4));
    fact(out, say("The month before", "上個月"),
         orDash(f.lastMonthKwh, kwhText) + " (" + change(f.lastMonthKwh) + ")",
         " class=\"last-month\"" + data("kwh", f.lastMonthKwh, 4));
    fact(out, say("The same month last year", "去年同月"),
         orDash(f.lastYearKwh, kwhText) + " (" + change(f.lastYearKwh) + ")",
         " class=\"last-year\"" + data("kwh", f.lastYearKwh, 4));
    out += "</dl></section>\n";
}

void writeBaseLoad(std::string& out, const MonthReport& r, const Say& say) {
    section(out, "base-load", say("Base load", "基礎負載"));
    std::vector<Bar> bars;
    for (const ReportDay& d : r.days) {
        Bar b{dayLabel(d.day), std::nullopt};
        for (const archive::DayBaseLoad& l : r.baseLoads)
            if (l.day == d.day) b.value = l.watts;
        bars.push_back(b);
    }
    out += barChart(bars, "W", 0, say("Base load per night (W)", "每晚基礎負載 (W)"));
    out += "<dl>";
    fact(out, say("Base load on the last night", "月底最後一晚基礎負載"),
         orDash(r.baseWatts, wattText) + (r.baseWatts && !r.baseFromMinutes
                                              ? " (" + say("from hour means", "由小時平均") + ")"
                                              : std::string()),
         " class=\"base\"" + data("watts", r.baseWatts, 1));
    if (r.currency)
        fact(out, say("Its cost over a year", "一年電費"),
             orDash(r.baseYearCost, [&](double c) { return money(c, r.currency); }),
             " class=\"base-year-cost\"" + data("cost", r.baseYearCost, 4));
    fact(out, say("Night use above base (00:00–05:00)", "夜間超出基礎用電 (00:00–05:00)"),
         kwhText(r.nightKwhAboveBase));
    out += "</dl></section>\n";
}

void writePeak(std::string& out, const MonthReport& r, const Say& say) {
    section(out, "peak", say("Peak demand", "尖峰需量"));
    std::vector<Bar> bars;
    for (const ReportDay& d : r.days) {
        Bar b{dayLabel(d.day), std::nullopt};
        for (const archive::Peak& p : r.dailyPeaks)
            if (p.period == d.day) b.value = p.watts / 1000;
        bars.push_back(b);
    }
    out += "<dl>";
    fact(out, say("The month's peak (15 minutes)", "本月尖峰 (15 分鐘)"),
         r.monthPeak
             ? formatFixed(r.monthPeak->watts / 1000, 2) + "&nbsp;kW " + say("at", "於") + " " +
                   dayTimeText(r.monthPeak->start) +
                   (r.monthPeak->fromMinutes ? std::string()
                                             : " (" + say("from hour means", "由小時平均") + ")")
             : std::string("–"),
         r.monthPeak ? " class=\"peak\"" + data("watts", r.monthPeak->watts, 1) + " data-start=\"" +
                           std::to_string(r.monthPeak->start) + "\""
                     : std::string());
    if (r.demandCharge)
        fact(out, say("Demand charge", "需量電費"), money(*r.demandCharge, r.currency),
             " class=\"demand-charge\"" + data("cost", r.demandCharge, 4));
    out += "</dl>";
    out += barChart(bars, "kW", 2, say("Daily peak (kW)", "每日尖峰 (kW)"));
    out += "</section>\n";
}

void writeQuality(std::string& out, const MonthReport& r, const Say& say) {
    section(out, "quality", say("Voltage quality", "電壓品質"));
    for (const archive::WeekQuality& q : r.weeks) {
        out += "<h3>" + say("ISO week", "週次") + " " + archive::isoWeekName(q.weekStart) + " (" +
               dayText(q.weekStart) + " – " + dayText(q.weekEnd - 1) + ")</h3>";
        out += "<table class=\"quality\"><thead><tr><th>" + say("Phase", "相") + "</th><th>" +
               say("Within ±10 %", "±10 % 內") + "</th><th>" + say("Coverage", "涵蓋") +
               "</th><th>" + say("Dip minutes", "驟降分鐘") + "</th><th>" +
               say("Swell minutes", "驟升分鐘") + "</th><th>" + say("Lowest", "最低") +
               "</th><th>" + say("Highest", "最高") + "</th><th>" + say("Verdict", "判定") +
               "</th></tr></thead><tbody>";
        for (std::size_t p = 0; p < q.phases.size(); ++p) {
            const archive::PhaseQuality& ph = q.phases[p];
            auto volts = [](double v) { return formatFixed(v, 1) + "&nbsp;V"; };
            std::string verdict;
            switch (ph.verdict) {
                case archive::QualityVerdict::Pass:
                    verdict = say("pass", "合格");
                    break;
                case archive::QualityVerdict::Fail:
                    verdict = say("fail", "不合格");
                    break;
                case archive::QualityVerdict::NotEnoughData:
                    verdict = say("not enough data", "資料不足");
                    break;
                case archive::QualityVerdict::NoData:
                    verdict = say("no data", "無資料");
                    break;
            }
            if (ph.deadWindows > 0)
                verdict += " · " + say("dead phase", "斷相") + " (" +
                           std::to_string(ph.deadWindows) + " " +
                           say("10-minute windows", "10分鐘區間") + ")";
            out +=
                "<tr><td>" + std::string(kPhaseNames[p]) + "</td><td>" +
                (ph.windows == 0 ? std::string("–") : formatFixed(ph.shareInBand, 1) + "&nbsp;%") +
                "</td><td>" + formatFixed(ph.coverage, 1) + "&nbsp;%</td><td>" +
                std::to_string(ph.dipMinutes) + "</td><td>" + std::to_string(ph.swellMinutes) +
                "</td><td>" + orDash(ph.lowestVolts, volts) + "</td><td>" +
                orDash(ph.highestVolts, volts) + "</td><td class=\"text\">" + verdict +
                "</td></tr>";
        }
        out +=
            "</tbody></table><p>" + say("nominal", "標稱") + " " + formatFixed(q.nominalVolts, 0) +
            "&nbsp;V" +
            (q.nominalAssumed ? " (" +
                                    say("assumed from the readings; set [quality] voltage_nominal",
                                        "由讀數推定") +
                                    ")"
                              : std::string()) +
            " · " + std::to_string(q.minutes) + " " + say("minutes", "分鐘") + " · " +
            say("worst 10-minute unbalance", "最差10分鐘不平衡") + ": " +
            (q.worstUnbalance ? formatFixed(*q.worstUnbalance, 2) + "&nbsp;% (" +
                                    dayTimeText(q.worstUnbalanceAt) + ")"
                              : std::string("–")) +
            "</p>\n";
    }
    if (r.weeks.empty()) out += "<p>–</p>";
    out += "</section>\n";
}

void writeAlerts(std::string& out, const MonthReport& r, const Say& say) {
    section(out, "alerts", say("Alerts", "警報"));
    if (r.alerts.empty()) {
        out += "<p>" + say("No alert this month.", "本月無警報。") + "</p></section>\n";
        return;
    }
    out += "<table class=\"alerts\"><thead><tr><th>" + say("Time", "時間") + "</th><th>" +
           say("Alert", "警報") + "</th></tr></thead><tbody>";
    for (const archive::AlertRecord& a : r.alerts) {
        std::string text;
        if (const auto rule = alerts::alertRuleByName(a.rule)) {
            const alerts::AlertLogText t = alerts::alertLogText(
                {a.meter, *rule, a.phase, a.started, a.timeMs, a.value, a.threshold});
            text = r.language == ReportLanguage::English ? t.english : t.bilingual;
        } else {
            // A rule this program does not know: its name and figures as the table keeps them.
            text = std::string(a.started ? "Alert start: " : "Alert end: ") + a.rule +
                   (a.phase > 0 ? " L" + std::to_string(a.phase) : std::string()) + " = " +
                   formatFixed(a.value, 2) + " (limit " + formatFixed(a.threshold, 2) + ")";
        }
        out += "<tr><td>" + dayTimeText(a.timeMs / 1000) + "</td><td class=\"text\">" +
               htmlEscaped(text) + "</td></tr>";
    }
    out += "</tbody></table></section>\n";
}

void writePhases(std::string& out, const MonthReport& r, const Say& say) {
    section(out, "phases", say("Phase balance", "三相平衡"));
    const archive::PhaseAdvice& a = r.phases;
    if (const auto sentence = phaseAdviceSentence(a, r.phaseLimitPercent)) {
        out += "<p class=\"advice\">" + htmlEscaped(*sentence) + "</p>";
        if (r.language == ReportLanguage::Bilingual) {
            const std::string share = formatFixed(100 * a.shareAboveLimit, 0);
            const std::string limit = formatFixed(r.phaseLimitPercent, 0);
            out +=
                "<p>" +
                (a.moveWatts > 0
                     ? "建議將約 " + formatFixed(std::max(a.moveWatts, 100.0) / 1000, 1) +
                           " kW 的負載從 " + kPhaseNames[a.heaviest] + " 移到 " +
                           kPhaseNames[a.lightest] + "：過去 4 週有 " + share +
                           " % 的小時不平衡超過 " + limit + " %。"
                     : "三相平衡：過去 4 週有 " + share + " % 的小時不平衡超過 " + limit + " %。") +
                "</p>";
        }
        out += "<p>" + say("Mean power", "平均功率") + ": ";
        for (int p = 0; p < 3; ++p)
            out += std::string(p ? ", " : "") + kPhaseNames[p] + " " +
                   wattText(a.meanWatts[static_cast<std::size_t>(p)]);
        out += " (" + std::to_string(a.hoursCounted) + " " + say("hours", "小時") + ")</p>";
    } else {
        out += "<p>–</p>";
    }
    out += "</section>\n";
}

}  // namespace

std::string htmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::string> phaseAdviceSentence(const archive::PhaseAdvice& a, double limitPercent) {
    return web::phaseAdviceText(a, limitPercent);
}

std::optional<ReportMonth> parseReportMonth(std::string_view text) {
    if (text.size() != 7 || text[4] != '-') return std::nullopt;
    int year = 0, month = 0;
    const char* b = text.data();
    if (!std::all_of(b, b + 4, [](char c) { return c >= '0' && c <= '9'; }) ||
        !std::all_of(b + 5, b + 7, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::from_chars(b, b + 4, year);
    std::from_chars(b + 5, b + 7, month);
    if (year < 1970 || month < 1 || month > 12) return std::nullopt;
    ReportMonth m;
    m.start = archive::localUnixSeconds(year, month, 1, 0, 0, 0);
    m.end = month == 12 ? archive::localUnixSeconds(year + 1, 1, 1, 0, 0, 0)
                        : archive::localUnixSeconds(year, month + 1, 1, 0, 0, 0);
    return m;
}

std::string reportFileName(std::string_view meter, std::string_view month) {
    return "TEV3P_" + std::string(meter) + "_report_" + std::string(month) + ".html";
}

std::string monthReportHtml(const MonthReport& r) {
    const Say say{r.language};
    const std::string meter =
        r.name ? htmlEscaped(*r.name) + " (" + htmlEscaped(r.meter) + ")" : htmlEscaped(r.meter);
    const std::string title = say("Monthly energy report", "每月用電報告");
    std::string out = "<!DOCTYPE html>\n<html lang=\"" +
                      std::string(r.language == ReportLanguage::English ? "en" : "zh-Hant") +
                      "\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title + " " + meter + " " +
                      htmlEscaped(r.month) + "</title>\n<style>\n" + std::string(kStyle) +
                      "</style>\n</head>\n<body>\n";
    out += "<header><h1>" + title + " " + htmlEscaped(r.month) + "</h1><p class=\"sub\">" +
           say("Meter", "電錶") + ": <b class=\"meter\">" + meter + "</b> · " +
           say("Site", "站點") + ": <b class=\"site\">" + htmlEscaped(r.site) + "</b> · " +
           dayText(r.monthStart) + " – " + dayText(r.monthEnd - 1) + "</p></header>\n";
    writeEnergy(out, r, say);
    writeComparison(out, r, say);
    writeBaseLoad(out, r, say);
    writePeak(out, r, say);
    writeQuality(out, r, say);
    writeAlerts(out, r, say);
    writePhases(out, r, say);
    out += "</body>\n</html>\n";
    return out;
}

}  // namespace tev::report
