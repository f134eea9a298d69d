#include "core/store/scale_table.h"

#include <gtest/gtest.h>

#include "core/store/measurement_store.h"

namespace tev {
namespace {

TEST(ScaleTable, FreshStoreHasEmptyTablesOfTheDeclaredShape) {
    MeasurementStore store;
    const int columns[] = {17, 17, 17, 17, 16, 16, 16};
    const int slots[] = {18010, 8010, 8010, 5010, 4010, 3010, 2010};
    for (int i = 0; i < kScaleCount; ++i) {
        const ScaleTable& t = store.tableAt(i);
        EXPECT_EQ(t.cnt, 0);
        EXPECT_EQ(t.columns(), columns[i]);
        EXPECT_EQ(t.rowSlots(), slots[i]);
        for (int c = 0; c < t.columns(); ++c) EXPECT_EQ(t.raw(c, 0), 0u);
    }
    EXPECT_EQ(store.registry.MeterCount, 0);
    EXPECT_EQ(store.live.TotalKWh, 0.0f);
}

TEST(ScaleTable, DateAndTimeCellsHoldIntegersBitForBit) {
    ScaleTable t(TimeScale::Min);
    t.setDate(3, 240802);
    t.setTime(3, 485);
    EXPECT_EQ(t.date(3), 240802);
    EXPECT_EQ(t.time(3), 485);
    EXPECT_EQ(t.raw(kColDate, 3), 240802u);
    // The same cell read as a float is a tiny denormal, never 240802.0.
    EXPECT_NE(t.value(kColDate, 3), 240802.0f);
    t.setDate(4, -1);
    EXPECT_EQ(t.raw(kColDate, 4), 0xFFFFFFFFu);
    EXPECT_EQ(t.date(4), -1);
}

TEST(ScaleTable, CompactionKeepsTheNewestRowsOfEveryColumn) {
    ScaleTable t(TimeScale::Min);
    for (int c = 0; c < t.columns(); ++c)
        for (int r = 0; r <= 8000; ++r) t.raw(c, r) = static_cast<std::uint32_t>(c * 100000 + r);
    t.cnt = 8000;
    t.compact(1000);
    EXPECT_EQ(t.cnt, 7000);
    for (int c = 0; c < t.columns(); ++c) {
        EXPECT_EQ(t.raw(c, 0), static_cast<std::uint32_t>(c * 100000 + 1000));
        EXPECT_EQ(t.raw(c, 6999), static_cast<std::uint32_t>(c * 100000 + 7999));
        EXPECT_EQ(t.raw(c, 7000), static_cast<std::uint32_t>(c * 100000 + 8000));
    }
}

TEST(MeasurementStore, DataResetZeroesCountsRowZeroQuantitiesAndAccountsOnly) {
    MeasurementStore s;
    for (int i = 0; i < kScaleCount; ++i) {
        ScaleTable& t = s.tableAt(i);
        t.cnt = 5;
        for (int c = 0; c < t.columns(); ++c) t.raw(c, 0) = t.raw(c, 1) = 7;
    }
    s.live.SmoothV1 = 230;
    s.live.V1 = 231;
    s.live.KWh = 3;
    s.live.K2 = 1;
    s.live.WeekKWh = 4;
    s.live.MonthK3 = 5;
    s.live.TotalKWh = 99;
    s.live.AvgAmpK1 = 2;
    s.calendar.WeekDayCnt = 3;
    s.registry.MeterCount = 2;
    s.resetData();
    for (int i = 0; i < kScaleCount; ++i) {
        const ScaleTable& t = s.tableAt(i);
        EXPECT_EQ(t.cnt, 0);
        for (int c = 0; c < kQuantityCount; ++c) EXPECT_EQ(t.raw(c, 0), 0u);
        EXPECT_EQ(t.raw(kColDate, 0), 7u);  // row 0's date stays
        EXPECT_EQ(t.raw(0, 1), 7u);         // other rows stay
    }
    EXPECT_EQ(s.live.SmoothV1, 0.0f);
    EXPECT_EQ(s.live.V1, 231.0f);
    EXPECT_EQ(s.live.KWh, 0.0f);
    EXPECT_EQ(s.live.K2, 0.0f);
    EXPECT_EQ(s.live.WeekKWh, 0.0f);
    EXPECT_EQ(s.live.MonthK3, 0.0f);
    EXPECT_EQ(s.live.TotalKWh, 0.0f);
    EXPECT_EQ(s.live.AvgAmpK1, 2.0f);
    EXPECT_EQ(s.calendar.WeekDayCnt, 3);
    EXPECT_EQ(s.registry.MeterCount, 2);
}

TEST(MeterRegistry, TextsAreCutToTheirKeptLengthAndIdsCompareOverTwelveCharacters) {
    MeterRegistry reg;
    reg.rows[0].Id.assign("0123456789ABXYZ");
    reg.rows[0].IpAddr.assign("192.168.100.200:12345");
    reg.MeterCount = 1;
    EXPECT_EQ(reg.rows[0].Id.view(), "0123456789AB");
    EXPECT_EQ(reg.rows[0].IpAddr.view(), "192.168.100.200:12");
    EXPECT_EQ(reg.rows[0].Id.bytes[12], 0);
    EXPECT_EQ(reg.find("0123456789AB"), 0);
    EXPECT_EQ(reg.find("0123456789AC"), -1);
    EXPECT_EQ(reg.find("0123456789A"), -1);
}

}  // namespace
}  // namespace tev
