#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "core/store/scale_table.h"
#include "core/store/time_scale.h"

namespace tev::web {

// The fifteen quantities by the names the charts and the records manager use, in the order
// of the quantity numbers (quantity n is column n - 1).
inline constexpr std::array<std::string_view, kQuantityCount> kQuantityNames = {
    "V1", "V2", "V3", "Amp", "A1", "A2", "A3", "Watt", "W1", "W2", "W3", "KWh", "K1", "K2", "K3"};

// The seven time scales as a query names them (scale=hour).
inline constexpr std::array<std::string_view, kScaleCount> kScaleNames = {
    "min", "m5", "m10", "hour", "day", "week", "month"};

inline std::optional<int> quantityColumnByName(std::string_view name) {
    for (int c = 0; c < kQuantityCount; ++c)
        if (kQuantityNames[c] == name) return c;
    return std::nullopt;
}

inline std::optional<TimeScale> scaleByName(std::string_view name) {
    for (int i = 0; i < kScaleCount; ++i)
        if (kScaleNames[i] == name) return scaleAt(i);
    return std::nullopt;
}

}  // namespace tev::web
