#include "core/persistence/settings_file.h"

#include <bit>
#include <cstring>

namespace tev {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the settings file copies fields as little-endian 4-byte values");

// Walks the 48 fields in file order, handing each to `f` as a reference to its value.
template <typename Values, typename F>
void forEachField(Values& v, F&& f) {
    f(v.K1), f(v.K2), f(v.K3), f(v.TotalKWh), f(v.StartDayCode);
    f(v.ch1Quantity), f(v.ch1TimeScale), f(v.ch1Reserved);
    f(v.ch2Quantity), f(v.ch2TimeScale), f(v.ch2Reserved);
    f(v.syncChannels), f(v.WeekDayCnt), f(v.NowMonth), f(v.WeekKWh), f(v.MonthKWh);
    f(v.WeekK1), f(v.WeekK2), f(v.WeekK3), f(v.MonthK1), f(v.MonthK2), f(v.MonthK3);
    f(v.windowLeft), f(v.windowTop), f(v.languageMode), f(v.WeekStartCode);
    for (auto& span : v.ch1Spans) f(span);
    for (auto& span : v.ch2Spans) f(span);
    f(v.AvgAmpKWh), f(v.AvgAmpK1), f(v.AvgAmpK2), f(v.AvgAmpK3);
    f(v.AvgWattKWh), f(v.AvgWattK1), f(v.AvgWattK2), f(v.AvgWattK3);
}

std::int32_t number(Quantity q) {
    return static_cast<std::int32_t>(q);
}
std::int32_t number(TimeScale s) {
    return static_cast<std::int32_t>(s);
}

}  // namespace

std::array<std::uint8_t, kSettingsFileSize> encodeSettings(const SettingsValues& values) {
    std::array<std::uint8_t, kSettingsFileSize> image{};
    std::size_t at = 0;
    forEachField(values, [&](const auto& field) {
        static_assert(sizeof(field) == 4);
        std::memcpy(image.data() + at, &field, 4);
        at += 4;
    });
    return image;
}

std::size_t decodeSettings(std::span<const std::uint8_t> image, SettingsValues& values) {
    std::size_t read = 0;
    forEachField(values, [&](auto& field) {
        const std::size_t at = read * 4;
        if (at + 4 > image.size()) return;
        std::memcpy(&field, image.data() + at, 4);
        ++read;
    });
    return read;
}

SettingsValues collectSettings(const MeasurementStore& store, const ViewState& view,
                               std::int32_t languageMode) {
    const LiveReadings& l = store.live;
    const Calendar& cal = store.calendar;
    const ChartChannel& ch1 = view.channel(1);
    const ChartChannel& ch2 = view.channel(2);
    SettingsValues v;
    v.K1 = l.K1, v.K2 = l.K2, v.K3 = l.K3, v.TotalKWh = l.TotalKWh;
    v.StartDayCode = cal.StartDayCode;
    v.ch1Quantity = number(ch1.quantity), v.ch1TimeScale = number(ch1.timeScale);
    v.ch1Reserved = ch1.reservedSetting;
    v.ch2Quantity = number(ch2.quantity), v.ch2TimeScale = number(ch2.timeScale);
    v.ch2Reserved = ch2.reservedSetting;
    v.syncChannels = view.syncChannels ? 1 : 0;
    v.WeekDayCnt = cal.WeekDayCnt, v.NowMonth = cal.NowMonth;
    v.WeekKWh = l.WeekKWh, v.MonthKWh = l.MonthKWh;
    v.WeekK1 = l.WeekK1, v.WeekK2 = l.WeekK2, v.WeekK3 = l.WeekK3;
    v.MonthK1 = l.MonthK1, v.MonthK2 = l.MonthK2, v.MonthK3 = l.MonthK3;
    v.windowLeft = view.windowLeft, v.windowTop = view.windowTop;
    v.languageMode = languageMode;
    v.WeekStartCode = cal.WeekStartCode;
    for (int i = 0; i < kScaleCount; ++i) {
        v.ch1Spans[i] = ch1.spanPerScale[i];
        v.ch2Spans[i] = ch2.spanPerScale[i];
    }
    v.AvgAmpKWh = l.AvgAmpKWh, v.AvgAmpK1 = l.AvgAmpK1, v.AvgAmpK2 = l.AvgAmpK2;
    v.AvgAmpK3 = l.AvgAmpK3;
    v.AvgWattKWh = l.AvgWattKWh, v.AvgWattK1 = l.AvgWattK1, v.AvgWattK2 = l.AvgWattK2;
    v.AvgWattK3 = l.AvgWattK3;
    return v;
}

void placeSettings(const SettingsValues& v, MeasurementStore& store, ViewState& view) {
    LiveReadings& l = store.live;
    Calendar& cal = store.calendar;
    ChartChannel& ch1 = view.channel(1);
    ChartChannel& ch2 = view.channel(2);
    l.K1 = v.K1, l.K2 = v.K2, l.K3 = v.K3, l.TotalKWh = v.TotalKWh;
    ch1.quantity = static_cast<Quantity>(v.ch1Quantity);
    ch1.timeScale = static_cast<TimeScale>(v.ch1TimeScale);
    ch1.reservedSetting = v.ch1Reserved;
    ch2.quantity = static_cast<Quantity>(v.ch2Quantity);
    ch2.timeScale = static_cast<TimeScale>(v.ch2TimeScale);
    ch2.reservedSetting = v.ch2Reserved;
    view.syncChannels = v.syncChannels == 1;
    cal.WeekDayCnt = v.WeekDayCnt, cal.NowMonth = v.NowMonth;
    l.WeekKWh = v.WeekKWh, l.MonthKWh = v.MonthKWh;
    l.WeekK1 = v.WeekK1, l.WeekK2 = v.WeekK2, l.WeekK3 = v.WeekK3;
    l.MonthK1 = v.MonthK1, l.MonthK2 = v.MonthK2, l.MonthK3 = v.MonthK3;
    view.windowLeft = v.windowLeft, view.windowTop = v.windowTop;
    cal.WeekStartCode = v.WeekStartCode;
    for (int i = 0; i < kScaleCount; ++i) {
        ch1.spanPerScale[i] = v.ch1Spans[i];
        ch2.spanPerScale[i] = v.ch2Spans[i];
    }
    l.AvgAmpKWh = v.AvgAmpKWh, l.AvgAmpK1 = v.AvgAmpK1, l.AvgAmpK2 = v.AvgAmpK2;
    l.AvgAmpK3 = v.AvgAmpK3;
    l.AvgWattKWh = v.AvgWattKWh, l.AvgWattK1 = v.AvgWattK1, l.AvgWattK2 = v.AvgWattK2;
    l.AvgWattK3 = v.AvgWattK3;
}

std::int32_t repairedLanguageMode(std::int32_t stored) {
    return stored >= 1 && stored <= 3 ? stored : 3;
}

void finishSettingsLoad(std::optional<std::int32_t> storedDayCode, MeasurementStore& store,
                        ViewState& view) {
    LiveReadings& l = store.live;
    Calendar& cal = store.calendar;
    // The per-phase day accounts belong to the day the file was written.
    if (!storedDayCode || *storedDayCode != cal.StartDayCode) {
        l.K1 = l.K2 = l.K3 = 0;
        l.AvgAmpK1 = l.AvgAmpK2 = l.AvgAmpK3 = 0;
        l.AvgWattK1 = l.AvgWattK2 = l.AvgWattK3 = 0;
    }
    if (cal.WeekStartCode == 0) cal.WeekStartCode = cal.TodayCode;
    for (ChartChannel& ch : view.channels) {
        // A negative span (a damaged file) would make the chart's scale negative: treat it as
        // missing.
        for (int i = 0; i < kScaleCount; ++i)
            if (ch.spanPerScale[i] <= 0) ch.spanPerScale[i] = kDefaultSpan[i];
        const int scale = static_cast<int>(ch.timeScale);
        if (isValidScale(scale)) ch.span = ch.spanPerScale[scaleIndex(ch.timeScale)];
    }
}

}  // namespace tev
