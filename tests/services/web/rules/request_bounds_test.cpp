// Every time a meter's archive answers take, at and past its limits: each request is refused
// with 400 or answered with a bounded number of periods, never left to run away.
#include <gtest/gtest.h>

#include <string>

#include "services/archive/rules/energy_periods.h"
#include "services/web/rules/meter_archive_api.h"
#include "webapi_fixture.h"

namespace tev::web {
namespace {

// The periods in an energy answer: its "time" array's entries.
int energyPeriods(const std::string& body) {
    const auto open = body.find("\"time\":[");
    const auto close = body.find(']', open);
    if (open == std::string::npos || close == std::string::npos) return -1;
    const std::string times = body.substr(open + 8, close - open - 8);
    return times.empty() ? 0 : static_cast<int>(std::count(times.begin(), times.end(), ',')) + 1;
}

TEST(RequestBounds, ExtremeTimesAreRefusedOrAnsweredWithABoundedNumberOfPeriods) {
    testing::useBerlinTime();
    const std::int64_t now = 1796720400;  // 2026-12-08 10:00 in Berlin
    const std::string meter = "/api/v1/meters/XXXXXXXXXXXX/";
    const std::string refusedRange = " must lie between 1970-01-01 and 2200-01-01";
    struct Case {
        std::string query;
        int status;
        std::string text;  // in the 400 answer's body
    };
    const std::string forms[] = {"series?", "export.csv?", "energy?period=day&",
                                 "energy?period=week&", "energy?period=month&"};
    const Case cases[] = {
        {"from=-9223372036854775808&to=9223372036854775807", 400, "from" + refusedRange},
        {"from=0&to=9223372036854775807", 400, "to" + refusedRange},
        {"from=-1", 400, "from" + refusedRange},
        {"to=-1", 400, "to" + refusedRange},
        {"from=1969-12-31T23:59:59Z", 400, ""},
        {"to=2201-01-01", 400, "to" + refusedRange},
        {"from=7258118401", 400, "from" + refusedRange},
        {"from=99999999999999999999", 400, "from must be Unix seconds or an ISO 8601 time"},
        {"to=-99999999999999999999", 400, "to must be Unix seconds or an ISO 8601 time"},
        {"from=1e9", 400, "from must be Unix seconds"},
        {"from=", 400, "from must be Unix seconds"},
        {"from=2026-12-08&to=2026-12-01", 400, "from is after to"},
        {"from=0&to=7258118400", 0, ""},  // 400 for energy, all rows for a series
        {"from=2026-12-01&to=2026-12-08", 200, ""},
        {"from=2199-01-01&to=2200-01-01", 200, ""},
    };
    for (const std::string& form : forms) {
        const bool energy = form.rfind("energy", 0) == 0;
        for (const Case& c : cases) {
            const std::string target = meter + form + c.query;
            const ParsedTarget t = parseRequestTarget(target);
            const auto p = meterArchiveRequestFrom(t.target, now);
            ASSERT_TRUE(p) << target;
            const int expected = c.status != 0 ? c.status : energy ? 400 : 200;
            if (const auto* refused = std::get_if<ApiResponse>(&*p)) {
                EXPECT_EQ(refused->status, expected) << target << " " << refused->body;
                if (!c.text.empty()) {
                    EXPECT_NE(refused->body.find(c.text), std::string::npos)
                        << target << " " << refused->body;
                }
                continue;
            }
            EXPECT_EQ(expected, 200) << target;
            const auto& request = std::get<MeterArchiveRequest>(*p);
            ASSERT_TRUE(request.from && request.to) << target;
            const ApiResponse r = meterArchiveResponse(request, {}, "", nullptr, now);
            EXPECT_EQ(r.status, 200) << target;
            if (energy) {
                const int periods = energyPeriods(r.body);
                EXPECT_GE(periods, 0) << target;
                EXPECT_LE(periods, archive::kMaxEnergyPeriods) << target;
            }
        }
    }
    // The quality week, at its limits.
    for (const auto& [week, status] :
         std::initializer_list<std::pair<const char*, int>>{{"1971-W01", 200},
                                                            {"2199-W52", 200},
                                                            {"2200-W01", 400},
                                                            {"9998-W01", 400},
                                                            {"1970-W01", 400},
                                                            {"-001-W01", 400},
                                                            {"2026-W00", 400}}) {
        for (const char* form : {"quality", "quality.csv"}) {
            const std::string target = meter + form + "?week=" + week;
            const auto p = meterArchiveRequestFrom(parseRequestTarget(target).target, now);
            ASSERT_TRUE(p) << target;
            const auto* refused = std::get_if<ApiResponse>(&*p);
            EXPECT_EQ(refused != nullptr ? refused->status : 200, status) << target;
        }
    }
}

// The sum over periods stops at its bound and at its stop, whatever span it is handed.
TEST(RequestBounds, EnergySumsStopAtTheirBoundAndWhenTold) {
    testing::useBerlinTime();
    const archive::EnergyPricing noPrices;
    auto stopping = std::make_shared<std::atomic<bool>>(false);
    const archive::ReadStop stop(archive::ReadStop::Clock::now() + std::chrono::hours(1), stopping);
    const struct {
        archive::EnergyPeriod period;
        std::int64_t from, to;
        bool stopNow;
        std::size_t periods;
    } cases[] = {
        {archive::EnergyPeriod::Day, 0, 7258118400, false, archive::kMaxEnergyPeriods},
        {archive::EnergyPeriod::Month, 0, 7258118400, false, archive::kMaxEnergyPeriods},
        {archive::EnergyPeriod::Day, 1796684400, 1796684400 + 3 * 86400, false, 3},
        {archive::EnergyPeriod::Day, 0, 7258118400, true, 0},
    };
    for (const auto& c : cases) {
        stopping->store(c.stopNow);
        const archive::PeriodEnergy e =
            archive::energyPerPeriod(c.period, {}, {}, c.from, c.to, c.to, noPrices, &stop);
        EXPECT_EQ(e.time.size(), c.periods) << c.from << ".." << c.to;
        EXPECT_EQ(stop.gaveUp(), c.stopNow);
    }
}

}  // namespace
}  // namespace tev::web
