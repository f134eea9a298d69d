#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/chart/chart_channel.h"
#include "core/store/measurement_store.h"

namespace tev {

// The settings file: 48 consecutive little-endian 4-byte fields (192 bytes), no header. It keeps
// the view settings of both chart channels, the language, the window position and the energy
// accounts and calendar counters that the records file does not hold.
inline constexpr std::size_t kSettingsFieldCount = 48;
inline constexpr std::size_t kSettingsFileSize = kSettingsFieldCount * 4;

// The values of the 48 fields, in file order.
struct SettingsValues {
    float K1 = 0, K2 = 0, K3 = 0, TotalKWh = 0;                         // fields 1-4
    std::int32_t StartDayCode = 0;                                      // 5
    std::int32_t ch1Quantity = 0, ch1TimeScale = 4;                     // 6, 7
    std::int32_t ch1Reserved = 0;                                       // 8
    std::int32_t ch2Quantity = 0, ch2TimeScale = 4;                     // 9, 10
    std::int32_t ch2Reserved = 0;                                       // 11
    std::int32_t syncChannels = 0;                                      // 12
    std::int32_t WeekDayCnt = 0, NowMonth = 0;                          // 13, 14
    float WeekKWh = 0, MonthKWh = 0;                                    // 15, 16
    float WeekK1 = 0, WeekK2 = 0, WeekK3 = 0;                           // 17-19
    float MonthK1 = 0, MonthK2 = 0, MonthK3 = 0;                        // 20-22
    std::int32_t windowLeft = 0, windowTop = 0;                         // 23, 24
    std::int32_t languageMode = 3;                                      // 25
    std::int32_t WeekStartCode = 0;                                     // 26
    std::array<std::int32_t, kScaleCount> ch1Spans{};                   // 27-33
    std::array<std::int32_t, kScaleCount> ch2Spans{};                   // 34-40
    float AvgAmpKWh = 0, AvgAmpK1 = 0, AvgAmpK2 = 0, AvgAmpK3 = 0;      // 41-44
    float AvgWattKWh = 0, AvgWattK1 = 0, AvgWattK2 = 0, AvgWattK3 = 0;  // 45-48
    bool operator==(const SettingsValues&) const = default;
};

// The file image of the values.
std::array<std::uint8_t, kSettingsFileSize> encodeSettings(const SettingsValues& values);

// Reads whole fields from the start of `image` into `values`, as far as the image reaches;
// fields beyond it keep what `values` held. Returns the number of fields read.
std::size_t decodeSettings(std::span<const std::uint8_t> image, SettingsValues& values);

// What the running program would save: field 5 is the start day of this run, not today.
SettingsValues collectSettings(const MeasurementStore& store, const ViewState& view,
                               std::int32_t languageMode);

// Puts the values into the store and the view (fields 6, 7, 9 and 10 as stored, even when out
// of range: the selection treats such a channel as showing nothing). The stored day code of
// field 5 is not applied: it is only compared with the start day.
void placeSettings(const SettingsValues& values, MeasurementStore& store, ViewState& view);

// A language mode outside English, Chinese and Bilingual (a damaged file) becomes Bilingual.
std::int32_t repairedLanguageMode(std::int32_t stored);

// The closing steps of loading, after the window has applied captions, scales and language:
// per-day accounts zeroed when the file was written on another start day (or nothing was
// read), the week start defaulted to today, missing or negative remembered spans replaced by
// their scale's default, and each channel's span taken from its remembered span.
void finishSettingsLoad(std::optional<std::int32_t> storedDayCode, MeasurementStore& store,
                        ViewState& view);

}  // namespace tev
