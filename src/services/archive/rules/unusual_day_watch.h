#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "services/archive/rules/insights.h"

namespace tev::archive {

// Tells each meter's unusual day once, after the day ended: asked again and again (once a
// minute), it answers the local day before the one holding `now` the first time that day is
// decided, and never again for that meter and day.
class UnusualDayWatch {
  public:
    // The writer puts a day's last hour row down after midnight: the day is decided once that
    // row is in `hours`, or once this much of the new day has passed without it.
    static constexpr std::int64_t kSettleSeconds = 3600;

    // The day that ended before `now` when `hours` (the meter's hour rows, oldest first,
    // reaching back four weeks before it) make it unusual and it is decided for the first time.
    std::optional<UnusualDay> check(std::string_view meter, const HourRows& hours,
                                    std::int64_t now);

  private:
    // By meter ID: the last day decided (local midnight).
    std::map<std::string, std::int64_t, std::less<>> decided_;
};

}  // namespace tev::archive
