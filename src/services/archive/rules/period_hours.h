#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "services/archive/rules/archive_queries.h"

namespace tev::archive {

// The earliest of this week's (from Sunday or from Monday) and this month's local midnight at
// `now`: where the hour rows that today's, this week's and this month's energy need begin.
std::int64_t periodHoursFrom(std::int64_t now);

// Every meter's hour rows from periodHoursFrom() on and the start of its first hour row of all,
// as the archive file holds them. The writer keeps it equal to the file after each commit; any
// thread may copy from it.
class PeriodHours {
  public:
    // Everything the file holds from `from` on, in place of what was held.
    void reset(std::int64_t from, std::vector<MeterEnergy> meters);
    // One meter's rows from `since` on, and its first row of all, as the file now holds them.
    void replace(MeterEnergy rows, std::int64_t since);
    // The rows before `from` go (the week or the month started again).
    void dropBefore(std::int64_t from);

    bool filled() const;
    std::int64_t from() const;
    // Nothing for a meter the file does not know.
    std::optional<MeterEnergy> meter(std::string_view id) const;
    // Every meter, by ID.
    std::vector<MeterEnergy> meters() const;
    std::vector<std::string> ids() const;
    // The oldest first row of a meter that holds no row from from() on; 0: none.
    std::int64_t oldestIdleFirstRow() const;

  private:
    mutable std::mutex mutex_;
    bool filled_ = false;
    std::int64_t from_ = 0;
    std::map<std::string, MeterEnergy, std::less<>> meters_;
};

}  // namespace tev::archive
