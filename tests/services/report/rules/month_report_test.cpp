#include "services/report/rules/month_report.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/texts/number_text.h"
#include "services/archive/rules/local_time.h"
#include "tests/services/archive/rules/zone.h"

namespace tev::report {
namespace {

// November 2026 of a meter with a hostile name: three days with rows, one alert, one week of
// voltage quality.
MonthReport sampleReport() {
    archive::testing::useCentralEuropeanTime();
    MonthReport r;
    r.meter = "SIM000000001";
    r.name = "<script>alert('x')</script> & \"Kitchen\"";
    r.site = "hall<2>";
    r.month = "2026-11";
    const ReportMonth m = *parseReportMonth("2026-11");
    r.monthStart = m.start;
    r.monthEnd = m.end;
    r.currency = "EUR";
    for (int i = 1; archive::localUnixSeconds(2026, 11, i, 0, 0, 0) < m.end; ++i) {
        ReportDay day{archive::localUnixSeconds(2026, 11, i, 0, 0, 0), std::nullopt, std::nullopt};
        if (i <= 3) {
            day.kwh = 9.125 + i;
            day.cost = 2.5 + i;
            r.kwh += *day.kwh;
        }
        r.days.push_back(day);
    }
    r.cost = 3.5 + 4.5 + 5.5;
    r.figures.kwhToDate = r.kwh;
    r.figures.lastMonthKwh = 40;
    r.baseLoads = {{m.start, 180, true, 0.4}};
    r.baseWatts = 180;
    r.baseFromMinutes = true;
    r.baseYearCost = 472.99;
    r.nightKwhAboveBase = 0.4;
    r.dailyPeaks = {{m.start, m.start + 19 * 3600, 6400, true}};
    r.monthPeak = r.dailyPeaks.front();
    r.demandCharge = 38.4;
    archive::WeekQuality q;
    q.weekStart = archive::localUnixSeconds(2026, 10, 26, 0, 0, 0);
    q.weekEnd = archive::localUnixSeconds(2026, 11, 2, 0, 0, 0);
    q.nominalVolts = 230;
    q.phases[0].verdict = archive::QualityVerdict::Pass;
    q.phases[1].verdict = archive::QualityVerdict::Fail;
    r.weeks = {q};
    r.alerts = {{(m.start + 7200) * 1000, r.meter, "current", 2, true, 41.2, 40}};
    r.phases.hoursCounted = 600;
    r.phases.meanWatts = {1200, 700, 400};
    r.phases.heaviest = 0;
    r.phases.lightest = 2;
    r.phases.shareAboveLimit = 0.23;
    r.phases.moveWatts = 800;
    return r;
}

TEST(MonthReport, PageIsSelfContainedEscapedAndComplete) {
    struct Case {
        const char* what;
        std::function<void(MonthReport&)> change;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const MonthReport base = sampleReport();
    const std::string totalKwh = formatFixed(base.kwh, 2) + "&nbsp;kWh";
    const std::vector<Case> cases = {
        {"English",
         [](MonthReport&) {},
         {"&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;Kitchen&quot; "
          "(SIM000000001)",
          "hall&lt;2&gt;",
          "@page { size: A4; margin: 15mm }",
          "id=\"energy\"",
          "id=\"comparison\"",
          "id=\"base-load\"",
          "id=\"peak\"",
          "id=\"quality\"",
          "id=\"alerts\"",
          "id=\"phases\"",
          "<svg",
          "2026-W44",
          "<tr class=\"total\" data-kwh=\"" + formatFixed(base.kwh, 4) + "\" data-cost=\"" +
              formatFixed(*base.cost, 4) + "\"><td>Total</td><td></td><td>" + totalKwh +
              "</td><td>13.50 EUR",
          "<dd class=\"base\" data-watts=\"180.0\">180&nbsp;W",
          "<dd class=\"peak\" data-watts=\"6400.0\" data-start=\"",
          "<p class=\"advice\">Move about",
          "<td>Per day</td><td></td><td>" + formatFixed(base.kwh / 3, 2) +
              "&nbsp;kWh</td><td>4.50 EUR",
          "Alert start: meter SIM000000001, current L2 = 41.20 A (limit 40.00 A)",
          "Move about 0.8 kW of load from L1 to L3: the imbalance was above 30 % in 23 % of the "
          "hours of the last 4 weeks.",
          "6.40&nbsp;kW at 2026-11-01 19:00",
          "38.40 EUR",
          "180&nbsp;W",
          "472.99 EUR"},
         {"<script", "http://", "https://", " src=", "url(", "@import", "<link", "電"}},
        {"bilingual",
         [](MonthReport& r) { r.language = ReportLanguage::Bilingual; },
         {"電壓品質 Voltage quality", "合格 pass", "不合格 fail", "警報開始", "建議將約 0.8 kW",
          "合計 Total"},
         {"<script"}},
        {"without a tariff",
         [](MonthReport& r) {
             r.currency.reset();
             r.cost.reset();
             r.demandCharge.reset();
             for (ReportDay& d : r.days) d.cost.reset();
         },
         {"<tr class=\"total\" data-kwh=\"" + formatFixed(base.kwh, 4) +
          "\"><td>Total</td><td></td><td>" + totalKwh + "</td></tr>"},
         {"EUR", "Demand charge", "Its cost over a year", "data-cost"}},
        {"an empty month",
         [](MonthReport& r) {
             r.alerts.clear();
             r.weeks.clear();
             r.phases = {};
             r.monthPeak.reset();
             r.baseWatts.reset();
         },
         {"No alert this month.", "id=\"phases\"", "id=\"quality\""},
         {"Move about", "nan", "inf", "class=\"peak\"", "class=\"base\" data-"}},
    };
    for (const Case& c : cases) {
        MonthReport r = base;
        c.change(r);
        const std::string html = monthReportHtml(r);
        for (const std::string& p : c.present)
            EXPECT_NE(html.find(p), std::string::npos) << c.what << ": no " << p;
        for (const std::string& a : c.absent)
            EXPECT_EQ(html.find(a), std::string::npos) << c.what << ": has " << a;
    }
}

TEST(MonthReport, MonthTextsAndAdviceSentences) {
    archive::testing::useCentralEuropeanTime();
    struct MonthCase {
        const char* text;
        bool ok;
        const char* start;
        const char* end;
    };
    for (const MonthCase& c :
         std::initializer_list<MonthCase>{{"2026-11", true, "2026-11-01", "2026-12-01"},
                                          {"2026-12", true, "2026-12-01", "2027-01-01"},
                                          {"2026-03", true, "2026-03-01", "2026-04-01"},
                                          {"2026-13", false, "", ""},
                                          {"2026-00", false, "", ""},
                                          {"2026-1", false, "", ""},
                                          {"2026/11", false, "", ""},
                                          {"2026-11-01", false, "", ""},
                                          {"+026-11", false, "", ""},
                                          {"", false, "", ""}}) {
        const auto m = parseReportMonth(c.text);
        ASSERT_EQ(m.has_value(), c.ok) << c.text;
        if (!m) continue;
        EXPECT_EQ(m->start, *archive::parseIsoTime(c.start)) << c.text;
        EXPECT_EQ(m->end, *archive::parseIsoTime(c.end)) << c.text;
    }
    EXPECT_EQ(reportFileName("SIM000000001", "2026-11"), "TEV3P_SIM000000001_report_2026-11.html");

    archive::PhaseAdvice balanced;
    balanced.hoursCounted = 10;
    balanced.heaviest = 1;
    balanced.lightest = 0;
    balanced.shareAboveLimit = 0.05;
    EXPECT_EQ(phaseAdviceSentence(balanced, 30),
              "The phases are balanced: the imbalance was above 30 % in 5 % of the hours of the "
              "last 4 weeks.");
    EXPECT_EQ(phaseAdviceSentence(archive::PhaseAdvice{}, 30), std::nullopt);
}

}  // namespace
}  // namespace tev::report
