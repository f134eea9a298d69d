#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tev::archive {

// `[archive]` in tev3p.ini.
struct ArchiveSettings {
    bool enabled = true;
    int minuteDays = 35;
    int hourDays = 3650;
};

// Reads the keys enabled, minute_days and hour_days; a bad value keeps its default and adds a
// line to `problems`.
ArchiveSettings archiveSettingsFrom(const std::map<std::string, std::string>& keys,
                                    std::vector<std::string>& problems);

// Rows that start before these moments are deleted; day rows are kept for good.
struct RetentionCutoffs {
    std::int64_t minute = 0;
    std::int64_t hour = 0;
};
RetentionCutoffs retentionCutoffs(std::int64_t nowUnixSeconds, const ArchiveSettings& settings);

// Rows deleted per transaction, so that pruning never holds the file for long.
inline constexpr int kDeleteBatchRows = 500;

}  // namespace tev::archive
