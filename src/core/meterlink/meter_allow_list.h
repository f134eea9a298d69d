#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tev {

// The meters that belong to this installation ([meters] allow in tev3p.ini, --allow-meter).
// Empty means every meter belongs, as without the setting. When it is set, device and data
// messages of other IDs never reach the registry, so forged IDs cannot fill its 200 rows.
class MeterAllowList {
  public:
    // A refused ID is logged at most once in this many seconds.
    static constexpr std::int64_t kReportIntervalS = 60 * 60;
    // Refused IDs remembered for that; beyond it, further new IDs go unreported for the hour.
    static constexpr std::size_t kMaxRemembered = 4096;

    MeterAllowList() = default;
    explicit MeterAllowList(const std::vector<std::string>& ids);

    bool active() const { return !ids_.empty(); }
    bool allows(std::string_view id) const;
    // Whether the refusal of `id` at `nowS` (seconds of any steady count) is to be logged.
    bool reportRefusal(std::string_view id, std::int64_t nowS);

  private:
    std::unordered_set<std::string> ids_;
    std::unordered_map<std::string, std::int64_t> reported_;
};

// The IDs of a comma-separated list, blanks around them dropped. Each entry that is not a
// 12-character meter ID adds a sentence to `problems`.
std::vector<std::string> parseMeterIdList(std::string_view text,
                                          std::vector<std::string>& problems);

}  // namespace tev
