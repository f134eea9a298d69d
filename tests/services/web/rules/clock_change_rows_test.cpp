#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "core/store/roll_up.h"
#include "services/web/rules/api_json.h"
#include "services/web/rules/row_time.h"
#include "services/web/rules/tidy_csv.h"
#include "tests/support/fake_clock.h"

namespace tev::web {
namespace {

DateTime localAt(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
}

// The tariff below, by local time: its edges fall inside the hour that repeats, so a row priced
// at one instant or over the wrong hours costs another sum.
double priceAt(const DateTime& local) {
    const int m = local.hour * 60 + local.minute;
    return m >= 90 && m < 150 ? 0.40 : m >= 210 && m < 240 ? 0.10 : 0.20;
}

struct RestoreZone {
    const char* old = std::getenv("TZ");
    std::string kept = old ? old : "";
    ~RestoreZone() {
        old ? ::setenv("TZ", kept.c_str(), 1) : ::unsetenv("TZ");
        ::tzset();
    }
};

TEST(ClockChangeRows, RowsRiseWithTheirOffsetsAndHourRowsCostWhatTheirRealSpansCost) {
    struct Case {
        const char* zone;
        std::int64_t start;                 // 21:59:30 local the day before the change
        std::vector<std::string> hourRows;  // closed Hour rows around the change
    };
    const Case cases[] = {
        {"Europe/Berlin",
         1774731570,  // 02:00 is 03:00: the row of 01:00-02:00 closes at 03:00
         {"2026-03-29T01:00:00+01:00", "2026-03-29T03:00:00+02:00", "2026-03-29T04:00:00+02:00"}},
        {"Europe/Berlin",
         1792871970,  // 03:00 is 02:00 again: both 02:00 close a row
         {"2026-10-25T02:00:00+02:00", "2026-10-25T02:00:00+01:00", "2026-10-25T03:00:00+01:00"}},
        {"America/New_York",
         1772938770,
         {"2026-03-08T01:00:00-05:00", "2026-03-08T03:00:00-04:00", "2026-03-08T04:00:00-04:00"}},
        {"America/New_York",
         1793498370,
         {"2026-11-01T01:00:00-04:00", "2026-11-01T01:00:00-05:00", "2026-11-01T02:00:00-05:00"}},
    };
    const RestoreZone restore;
    const alerts::Tariff tariff =
        alerts::loadTariff(IniDocument::parse("[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\n"
                                              "band_1=all 01:30-02:30 0.40\n"
                                              "band_2=all 03:30-04:00 0.10\n"))
            .tariff;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hourRows[0]);
        ::setenv("TZ", c.zone, 1);
        ::tzset();
        // Nine hours of one-second ticks at the local time each reads, as the window's timer runs
        // the roll-up (it catches no minutes up across the clock's jump of an hour). The meter's
        // day count grows with a power that changes every UTC hour and restarts at midnight.
        auto store = std::make_unique<MeasurementStore>();
        tev::testing::FakeClock clock(localAt(c.start));
        readDate(store->calendar, clock.now());
        store->calendar.NowMonth = clock.now().month;
        store->calendar.DataFlag = 1;
        std::vector<std::int64_t> closes;
        std::vector<double> costBeforeCloses;
        double cost = 0;
        for (std::int64_t t = c.start; t < c.start + 9 * 3600; ++t) {
            const DateTime at = localAt(t);
            if (at.day != clock.now().day) store->live.KWh = 0;
            clock.set(at);
            const double kwh = (1.0 + 0.5 * static_cast<double>(t / 3600 % 3)) / 3600.0;
            store->live.KWh += static_cast<float>(kwh);
            if (rollUpAt(*store, at.hour, at.minute, at.second, clock).dateRead) {
                closes.push_back(t);
                costBeforeCloses.push_back(cost);
            }
            cost += kwh * priceAt(at);
        }

        for (const TimeScale scale : {TimeScale::Min, TimeScale::M5, TimeScale::M10}) {
            const ScaleTable& table = store->table(scale);
            const std::string csv = tidyCsv(table, false, nullptr);
            std::set<std::string> times;
            for (std::size_t p = csv.find('\n') + 1; p < csv.size(); p = csv.find('\n', p) + 1)
                times.insert(csv.substr(p, csv.find(',', p) - p));
            EXPECT_EQ(times.size(), static_cast<std::size_t>(table.cnt)) << "repeated times";
            const std::string json = seriesJson(table, {scale, {}, {}, {}, false});
            std::int64_t before = 0, rows = 0;
            for (const char* p = json.c_str() + json.find('[') + 1; *p != ']'; ++rows) {
                char* end = nullptr;
                const std::int64_t t = std::strtoll(p, &end, 10);
                EXPECT_GT(t, before);
                EXPECT_EQ(rowUnixTime(table, static_cast<int>(rows)), t);  // asked alone
                before = t;
                p = end + (*end == ',');
            }
            EXPECT_EQ(rows, table.cnt);
        }

        // Every closed Hour row at the instant it closed, priced over the span since the one
        // before it (the first has none).
        const std::string csv = tidyCsv(store->table(TimeScale::Hour), false, &tariff);
        std::vector<std::string> times;
        double rowCosts = 0;
        for (std::size_t p = csv.find('\n') + 1; p < csv.size(); p = csv.find('\n', p) + 1) {
            const std::string line = csv.substr(p, csv.find('\n', p) - p);
            times.push_back(line.substr(0, line.find(',')));
            if (times.size() > 1) rowCosts += std::stod(line.substr(line.rfind(',') + 1));
        }
        ASSERT_EQ(times.size(), closes.size());
        for (std::size_t i = 0; i < times.size(); ++i) EXPECT_EQ(times[i], isoLocalTime(closes[i]));
        EXPECT_NE(std::search(times.begin(), times.end(), c.hourRows.begin(), c.hourRows.end()),
                  times.end());
        EXPECT_NEAR(rowCosts, costBeforeCloses.back() - costBeforeCloses.front(), 1e-3);
    }
}

}  // namespace
}  // namespace tev::web
