#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/store/scale_table.h"
#include "core/store/time_scale.h"

namespace tev {

// The CSV records export of one time scale: CR LF lines, a banner, the count line, the column
// header, one line per table row newest first (the live row too), two empty lines.

// The name proposed in the save dialog, e.g. "TEV3P_Records_Minute.csv".
std::string_view csvProposedFileName(TimeScale scale);

// "   Minute Records= " + cnt + four blanks; the log line of the export repeats it.
std::string csvCountLine(TimeScale scale, std::int32_t cnt);

// The bytes of the whole file.
std::string exportCsv(const ScaleTable& table);

}  // namespace tev
