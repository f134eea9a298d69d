#include "services/web/rules/row_time.h"

#include <gtest/gtest.h>

#include <memory>

#include "webapi_fixture.h"

namespace tev::web {
namespace {

class RowTime : public ::testing::Test {
  protected:
    void SetUp() override { testing::useBerlinTime(); }
    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
};

// 2026-12-08 00:00 in Berlin (UTC+1).
constexpr std::int64_t kDec8 = 1796684400;

TEST_F(RowTime, DateCodeAndMinutesAreLocalTime) {
    EXPECT_EQ(localUnixTime(261208, 0), kDec8);
    EXPECT_EQ(localUnixTime(261208, 65), kDec8 + 65 * 60);
    EXPECT_EQ(isoLocalTime(kDec8 + 65 * 60), "2026-12-08T01:05:00+01:00");
    // Summer time: 2026-07-01 12:00 is UTC+2.
    EXPECT_EQ(isoLocalTime(*localUnixTime(260701, 720)), "2026-07-01T12:00:00+02:00");
}

TEST_F(RowTime, NoTimeForCellsThatAreNoDate) {
    EXPECT_FALSE(localUnixTime(0, 0));
    EXPECT_FALSE(localUnixTime(261300, 0));
    EXPECT_FALSE(localUnixTime(260230, 0));
    EXPECT_FALSE(localUnixTime(250229, 0));  // 2025 has no 29 February
    EXPECT_TRUE(localUnixTime(240229, 0));
    EXPECT_FALSE(localUnixTime(261208, -1));
    EXPECT_FALSE(localUnixTime(-261208, 0));
}

TEST_F(RowTime, ClosedHourRowAtZeroZeroIsTheEndOfItsDayButTheLiveRowIsTheStart) {
    ScaleTable& h = store->table(TimeScale::Hour);
    testing::putRow(h, 0, 261207, 23 * 60, 0);  // closed at 23:00
    testing::putRow(h, 1, 261207, 0, 0);        // closed at midnight, still the old date
    testing::putRow(h, 2, 261208, 0, 0);        // the live row of the new day's first hour
    h.cnt = 2;
    EXPECT_EQ(rowUnixTime(h, 0), kDec8 - 3600);
    EXPECT_EQ(rowUnixTime(h, 1), kDec8);
    EXPECT_EQ(rowUnixTime(h, 2), kDec8);
}

TEST_F(RowTime, MinuteRowsCarryTheirOwnMinuteAndLongScalesTheirMidnight) {
    ScaleTable& m = store->table(TimeScale::Min);
    testing::putRow(m, 0, 261208, 0, 0);
    m.cnt = 1;
    EXPECT_EQ(rowUnixTime(m, 0), kDec8);
    ScaleTable& d = store->table(TimeScale::Day);
    testing::putRow(d, 0, 261208, 0, 0);
    d.cnt = 1;
    EXPECT_EQ(rowUnixTime(d, 0), kDec8);
    ScaleTable& month = store->table(TimeScale::Month);
    testing::putRow(month, 0, 2612, 0, 0);  // YYMM
    testing::putRow(month, 1, 261208, 0, 0);
    EXPECT_EQ(rowUnixTime(month, 0), localUnixTime(261201, 0));
    EXPECT_FALSE(rowUnixTime(month, 1));
    EXPECT_FALSE(rowUnixTime(d, -1));
    EXPECT_FALSE(rowUnixTime(d, d.rowSlots()));
}

}  // namespace
}  // namespace tev::web

namespace tev::web {
namespace {

TEST_F(RowTime, RowClockAgreesWithEachRowsOwnConversionAcrossSummerTimeChanges) {
    ScaleTable& m = store->table(TimeScale::Min);
    int r = 0;
    for (const std::int32_t date : {260328, 260329, 261024, 261025}) {
        for (int minute = 0; minute < 24 * 60; minute += 7) {
            // 2026-03-29 has no 2:00 … 2:59 in Berlin.
            if (date == 260329 && minute / 60 == 2) continue;
            testing::putRow(m, r++, date, minute, 0);
        }
    }
    m.cnt = r - 1;
    RowClock clock;
    for (int i = 0; i < r; ++i) ASSERT_EQ(clock.at(m, i), rowUnixTime(m, i)) << i;
    EXPECT_EQ(isoLocalTime(*rowUnixTime(m, 0)), "2026-03-28T00:00:00+01:00");
}

}  // namespace
}  // namespace tev::web
