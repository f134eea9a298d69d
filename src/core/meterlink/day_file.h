#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/store/meter_registry.h"

namespace tev {

// "M10_" + the 12-character meter ID + ".txt".
std::string dayFileName(std::string_view meterId);

// The path of a meter's day file inside the working directory.
std::string dayFilePath(const std::string& workingDirectory, std::string_view meterId);

// One day line: the meter date, the day energy of the previous data message, then the 144
// ten-minute slots, every field followed by a comma, closed by a single carriage return.
std::string dayFileLine(std::int32_t meterDate, float previousDayEnergy,
                        const std::array<float, kTenMinuteSlotCount>& slots);

// The outcome of appending a line: empty `error` on success, otherwise why it failed.
struct DayFileWrite {
    bool ok = false;
    std::string error;
};

// Appends `line` in one piece to the file at `path`, creating the file when it is missing.
DayFileWrite appendDayFileLine(const std::string& path, std::string_view line);

}  // namespace tev
