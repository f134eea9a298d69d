#include "core/recordsio/energy_scaling.h"

#include <gtest/gtest.h>

#include <memory>

namespace tev::testing {
namespace {

constexpr float kKwh = 2500.0f;
constexpr float kOther = 7.0f;

std::unique_ptr<MeasurementStore> filledStore() {
    auto store = std::make_unique<MeasurementStore>();
    for (int i = 0; i < kScaleCount; ++i) {
        ScaleTable& t = store->tableAt(i);
        for (int r = 0; r < 20; ++r) {
            for (int c = 0; c < kQuantityCount; ++c) t.setValue(c, r, kOther);
            t.setValue(kColKWh, r, kKwh);
        }
        t.cnt = 5;
    }
    return store;
}

TEST(EnergyScalingTest, ScalesKwhOfTheImportedTablesFromRowZeroToTheLiveRow) {
    auto store = filledStore();
    store->table(TimeScale::Hour).cnt = 3;
    store->table(TimeScale::M10).cnt = 10;
    EXPECT_TRUE(scaleEnergy(*store, kWhToKWhFactor));

    const ScaleTable& hour = store->table(TimeScale::Hour);
    for (int r = 0; r <= 3; ++r) EXPECT_FLOAT_EQ(hour.value(kColKWh, r), 2.5f) << r;
    EXPECT_EQ(hour.value(kColKWh, 4), kKwh);
    const ScaleTable& m10 = store->table(TimeScale::M10);
    for (int r = 0; r <= 10; ++r) EXPECT_FLOAT_EQ(m10.value(kColKWh, r), 2.5f) << r;
    EXPECT_EQ(m10.value(kColKWh, 11), kKwh);
    for (TimeScale s : {TimeScale::Day, TimeScale::Week, TimeScale::Month}) {
        EXPECT_FLOAT_EQ(store->table(s).value(kColKWh, 5), 2.5f);
        EXPECT_EQ(store->table(s).value(kColKWh, 6), kKwh);
    }
    for (TimeScale s : {TimeScale::Min, TimeScale::M5})
        EXPECT_EQ(store->table(s).value(kColKWh, 0), kKwh);
    for (int i = 0; i < kScaleCount; ++i)
        for (int c : {kColK1, kColK2, kColK3, kColAmp, kColWatt, kColV1})
            EXPECT_EQ(store->tableAt(i).value(c, 0), kOther);

    EXPECT_TRUE(scaleEnergy(*store, kKWhToWhFactor));
    EXPECT_FLOAT_EQ(store->table(TimeScale::Day).value(kColKWh, 0), kKwh);
}

TEST(EnergyScalingTest, EmptyTenMinuteTableScalesNothing) {
    auto store = filledStore();
    store->table(TimeScale::M10).cnt = 0;
    EXPECT_FALSE(scaleEnergy(*store, kKWhToWhFactor));
    EXPECT_EQ(store->table(TimeScale::Day).value(kColKWh, 0), kKwh);
    EXPECT_EQ(store->table(TimeScale::M10).value(kColKWh, 0), kKwh);
}

}  // namespace
}  // namespace tev::testing
