#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/store/meter_registry.h"

namespace tev {

// The registry export: MeterCount (int32), then one fixed record per registered meter with its
// texts, single values, ten-minute and hour slots and its day and month histories.
inline constexpr std::size_t kDeviceRecordSize = 9400;

std::vector<std::uint8_t> encodeDeviceExport(const MeterRegistry& registry);

}  // namespace tev
