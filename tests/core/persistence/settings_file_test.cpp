#include "core/persistence/settings_file.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tev {
namespace {

std::uint32_t cellAt(const std::array<std::uint8_t, kSettingsFileSize>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::uint32_t bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Every field a distinct value, so a field written at a wrong offset shows.
SettingsValues distinctValues() {
    SettingsValues v;
    v.K1 = 1.5f, v.K2 = 2.5f, v.K3 = 3.5f, v.TotalKWh = 4.5f;
    v.StartDayCode = 240802;
    v.ch1Quantity = 8, v.ch1TimeScale = 5, v.ch1Reserved = 77;
    v.ch2Quantity = 1, v.ch2TimeScale = 3, v.ch2Reserved = 88;
    v.syncChannels = 1, v.WeekDayCnt = 4, v.NowMonth = 8;
    v.WeekKWh = 15.25f, v.MonthKWh = 16.25f;
    v.WeekK1 = 17.25f, v.WeekK2 = 18.25f, v.WeekK3 = 19.25f;
    v.MonthK1 = 20.25f, v.MonthK2 = 21.25f, v.MonthK3 = 22.25f;
    v.windowLeft = 230, v.windowTop = 240, v.languageMode = 1, v.WeekStartCode = 240728;
    for (int i = 0; i < kScaleCount; ++i) {
        v.ch1Spans[i] = 270 + i;
        v.ch2Spans[i] = 340 + i;
    }
    v.AvgAmpKWh = 41.5f, v.AvgAmpK1 = 42.5f, v.AvgAmpK2 = 43.5f, v.AvgAmpK3 = 44.5f;
    v.AvgWattKWh = 45.5f, v.AvgWattK1 = 46.5f, v.AvgWattK2 = 47.5f, v.AvgWattK3 = 48.5f;
    return v;
}

TEST(SettingsFile, EachFieldLandsAtItsOwnByteOffset) {
    const auto image = encodeSettings(distinctValues());
    ASSERT_EQ(image.size(), 192u);
    EXPECT_EQ(cellAt(image, 0), bits(1.5f));
    EXPECT_EQ(cellAt(image, 4), bits(2.5f));
    EXPECT_EQ(cellAt(image, 8), bits(3.5f));
    EXPECT_EQ(cellAt(image, 12), bits(4.5f));
    EXPECT_EQ(cellAt(image, 16), 240802u);
    EXPECT_EQ(cellAt(image, 20), 8u);
    EXPECT_EQ(cellAt(image, 24), 5u);
    EXPECT_EQ(cellAt(image, 28), 77u);
    EXPECT_EQ(cellAt(image, 32), 1u);
    EXPECT_EQ(cellAt(image, 36), 3u);
    EXPECT_EQ(cellAt(image, 40), 88u);
    EXPECT_EQ(cellAt(image, 44), 1u);
    EXPECT_EQ(cellAt(image, 48), 4u);
    EXPECT_EQ(cellAt(image, 52), 8u);
    EXPECT_EQ(cellAt(image, 56), bits(15.25f));
    EXPECT_EQ(cellAt(image, 60), bits(16.25f));
    EXPECT_EQ(cellAt(image, 64), bits(17.25f));
    EXPECT_EQ(cellAt(image, 72), bits(19.25f));
    EXPECT_EQ(cellAt(image, 76), bits(20.25f));
    EXPECT_EQ(cellAt(image, 84), bits(22.25f));
    EXPECT_EQ(cellAt(image, 88), 230u);
    EXPECT_EQ(cellAt(image, 92), 240u);
    EXPECT_EQ(cellAt(image, 96), 1u);
    EXPECT_EQ(cellAt(image, 100), 240728u);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(cellAt(image, 104 + 4 * i), 270u + i);
        EXPECT_EQ(cellAt(image, 132 + 4 * i), 340u + i);
    }
    EXPECT_EQ(cellAt(image, 160), bits(41.5f));
    EXPECT_EQ(cellAt(image, 164), bits(42.5f));
    EXPECT_EQ(cellAt(image, 172), bits(44.5f));
    EXPECT_EQ(cellAt(image, 176), bits(45.5f));
    EXPECT_EQ(cellAt(image, 188), bits(48.5f));
}

TEST(SettingsFile, DecodeRestoresAllFortyEightValuesAndAShortImageOnlyItsWholeFields) {
    const SettingsValues stored = distinctValues();
    const auto image = encodeSettings(stored);
    SettingsValues read;
    EXPECT_EQ(decodeSettings(image, read), 48u);
    EXPECT_EQ(read, stored);

    // 30 bytes: seven whole fields, the eighth cut; everything after keeps its value.
    SettingsValues partial;
    partial.windowLeft = -5;
    EXPECT_EQ(decodeSettings(std::span(image).first(30), partial), 7u);
    EXPECT_EQ(partial.ch1TimeScale, 5);
    EXPECT_EQ(partial.ch1Reserved, 0);
    EXPECT_EQ(partial.windowLeft, -5);

    SettingsValues none;
    EXPECT_EQ(decodeSettings({}, none), 0u);
    EXPECT_EQ(none, SettingsValues{});
}

TEST(SettingsFile, CollectAndPlaceCarryEveryValueBetweenStoreViewAndFile) {
    SettingsValues v = distinctValues();
    MeasurementStore store;
    ViewState view;
    placeSettings(v, store, view);
    store.calendar.StartDayCode = 240802;
    EXPECT_EQ(view.channel(1).quantity, Quantity::Watt);
    EXPECT_EQ(view.channel(2).timeScale, TimeScale::M10);
    EXPECT_TRUE(view.syncChannels);
    EXPECT_EQ(store.live.MonthK3, 22.25f);
    EXPECT_EQ(view.channel(2).spanPerScale[6], 346);
    // Field 5 is written from this run's start day; the mode is the window's.
    v.languageMode = 3;
    EXPECT_EQ(collectSettings(store, view, 3), v);
}

TEST(SettingsFile, FinishingALoadFromAnotherDayZeroesOnlyThePerPhaseDayAccounts) {
    MeasurementStore store;
    ViewState view;
    placeSettings(distinctValues(), store, view);
    store.calendar.StartDayCode = 240803;
    store.calendar.TodayCode = 240803;
    finishSettingsLoad(240802, store, view);
    const LiveReadings& l = store.live;
    EXPECT_EQ(l.K1 + l.K2 + l.K3, 0.0f);
    EXPECT_EQ(l.AvgAmpK1 + l.AvgAmpK2 + l.AvgAmpK3 + l.AvgWattK1 + l.AvgWattK2 + l.AvgWattK3, 0.0f);
    EXPECT_EQ(l.TotalKWh, 4.5f);
    EXPECT_EQ(l.WeekKWh, 15.25f);
    EXPECT_EQ(l.MonthK1, 20.25f);
    EXPECT_EQ(l.AvgAmpKWh, 41.5f);
    EXPECT_EQ(l.AvgWattKWh, 45.5f);

    // The same start day keeps them; nothing read counts as another day.
    MeasurementStore same;
    placeSettings(distinctValues(), same, view);
    same.calendar.StartDayCode = 240802;
    finishSettingsLoad(240802, same, view);
    EXPECT_EQ(same.live.K2, 2.5f);
    finishSettingsLoad(std::nullopt, same, view);
    EXPECT_EQ(same.live.K2, 0.0f);
}

TEST(SettingsFile, FinishingALoadDefaultsSpansAndWeekStartAndTakesEachChannelsSpan) {
    MeasurementStore store;
    store.calendar.TodayCode = 240802;
    ViewState view;
    SettingsValues v;  // all spans 0, week start 0
    v.ch1TimeScale = 1;
    v.ch2TimeScale = 7;
    v.ch1Spans[3] = -40;  // a damaged file
    placeSettings(v, store, view);
    finishSettingsLoad(std::nullopt, store, view);
    EXPECT_EQ(view.channel(1).spanPerScale, (std::array<int, 7>{100, 50, 20, 10, 10, 10, 10}));
    EXPECT_EQ(view.channel(2).spanPerScale, (std::array<int, 7>{100, 50, 20, 10, 10, 10, 10}));
    EXPECT_EQ(view.channel(1).span, 100);
    EXPECT_EQ(view.channel(2).span, 10);
    EXPECT_EQ(store.calendar.WeekStartCode, 240802);

    // A scale outside 1 … 7 leaves the span as it was.
    view.channel(1).timeScale = static_cast<TimeScale>(9);
    view.channel(1).span = 33;
    finishSettingsLoad(std::nullopt, store, view);
    EXPECT_EQ(view.channel(1).span, 33);
}

TEST(SettingsFile, LanguageModeOutsideTheThreeBecomesBilingual) {
    EXPECT_EQ(repairedLanguageMode(1), 1);
    EXPECT_EQ(repairedLanguageMode(2), 2);
    EXPECT_EQ(repairedLanguageMode(3), 3);
    EXPECT_EQ(repairedLanguageMode(0), 3);
    EXPECT_EQ(repairedLanguageMode(-7), 3);
    EXPECT_EQ(repairedLanguageMode(4), 3);
}

}  // namespace
}  // namespace tev
