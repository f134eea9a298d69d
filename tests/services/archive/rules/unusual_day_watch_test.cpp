#include "services/archive/rules/unusual_day_watch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "services/archive/rules/local_time.h"
#include "tests/services/archive/rules/zone.h"

namespace tev::archive {
namespace {

std::int64_t at(const char* iso) {
    return *parseIsoTime(iso);
}

// Hour rows from `from` to `to` (exclusive), each hour `kwh` except those from `spikeFrom` to
// `spikeTo`, which use `spikeKwh`.
HourRows rows(const char* from, const char* to, const char* spikeFrom = nullptr,
              const char* spikeTo = nullptr, double spikeKwh = 2.0) {
    HourRows r;
    for (std::int64_t t = at(from); t < at(to); t += 3600) {
        const bool spike = spikeFrom != nullptr && t >= at(spikeFrom) && t < at(spikeTo);
        r.time.push_back(t);
        r.kwh.push_back(spike ? spikeKwh : 1.0);
        r.watts.push_back(NAN);
        r.phaseWatts.push_back({NAN, NAN, NAN});
    }
    return r;
}

// Each case is one run: the same watch asked again and again, as the minute's making does.
TEST(UnusualDayWatch, TellsTheDayThatEndedOnceAfterItsLastHourAcrossClockChanges) {
    testing::useCentralEuropeanTime();
    struct Ask {
        const char* meter;
        const char* now;
        std::optional<const char*> day;  // told: the day's local midnight
        double kwh = 0, typicalKwh = 0;
    };
    struct Case {
        const char* name;
        HourRows hours;
        std::vector<Ask> asks;
    };
    const HourRows tuesday = rows("2026-11-01T00:00:00+01:00", "2026-12-09T00:00:00+01:00",
                                  "2026-12-08T00:00:00+01:00", "2026-12-09T00:00:00+01:00");
    const Case cases[] = {
        {"told once after midnight, each meter apart",
         tuesday,
         {{"A", "2026-12-08T23:30:00+01:00", std::nullopt},
          {"A", "2026-12-09T00:05:00+01:00", "2026-12-08T00:00:00+01:00", 48, 24},
          {"A", "2026-12-09T00:06:00+01:00", std::nullopt},
          {"A", "2026-12-09T23:59:00+01:00", std::nullopt},
          {"B", "2026-12-09T00:07:00+01:00", "2026-12-08T00:00:00+01:00", 48, 24}}},
        {"at start, yesterday is judged once",
         tuesday,
         {{"A", "2026-12-09T14:00:00+01:00", "2026-12-08T00:00:00+01:00", 48, 24},
          {"A", "2026-12-10T00:30:00+01:00", std::nullopt}}},
        {"waits for the day's last hour row, then settles without it",
         rows("2026-11-01T00:00:00+01:00", "2026-12-08T23:00:00+01:00", "2026-12-08T00:00:00+01:00",
              "2026-12-09T00:00:00+01:00"),
         {{"A", "2026-12-09T00:05:00+01:00", std::nullopt},
          {"A", "2026-12-09T00:59:00+01:00", std::nullopt},
          {"A", "2026-12-09T01:00:00+01:00", "2026-12-08T00:00:00+01:00", 46, 24},
          {"A", "2026-12-09T01:01:00+01:00", std::nullopt}}},
        {"a usual day is decided and never told",
         rows("2026-11-01T00:00:00+01:00", "2026-12-09T00:00:00+01:00", "2026-12-08T00:00:00+01:00",
              "2026-12-09T00:00:00+01:00", 1.4),
         {{"A", "2026-12-09T00:05:00+01:00", std::nullopt},
          {"A", "2026-12-09T02:00:00+01:00", std::nullopt}}},
        {"the 25-hour Sunday ends at its last hour, 23:00 winter time",
         rows("2026-09-20T00:00:00+02:00", "2026-10-26T00:00:00+01:00", "2026-10-25T00:00:00+02:00",
              "2026-10-26T00:00:00+01:00"),
         {{"A", "2026-10-25T23:59:00+01:00", std::nullopt},
          {"A", "2026-10-26T00:00:30+01:00", "2026-10-25T00:00:00+02:00", 50, 24}}},
        {"the 23-hour Sunday of spring",
         rows("2026-02-22T00:00:00+01:00", "2026-03-30T00:00:00+02:00", "2026-03-29T00:00:00+01:00",
              "2026-03-30T00:00:00+02:00"),
         {{"A", "2026-03-30T00:00:30+02:00", "2026-03-29T00:00:00+01:00", 46, 24}}},
        {"no rows: nothing, however long after",
         HourRows{},
         {{"A", "2026-12-09T03:00:00+01:00", std::nullopt}}},
    };
    for (const Case& c : cases) {
        UnusualDayWatch watch;
        for (const Ask& a : c.asks) {
            const std::optional<UnusualDay> told = watch.check(a.meter, c.hours, at(a.now));
            ASSERT_EQ(told.has_value(), a.day.has_value()) << c.name << " at " << a.now;
            if (!told) continue;
            EXPECT_EQ(told->day, at(*a.day)) << c.name << " at " << a.now;
            EXPECT_DOUBLE_EQ(told->kwh, a.kwh) << c.name;
            EXPECT_DOUBLE_EQ(told->typicalKwh, a.typicalKwh) << c.name;
        }
    }
}

}  // namespace
}  // namespace tev::archive
