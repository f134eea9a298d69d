#pragma once

#include <cstdint>
#include <string>

#include "core/persistence/records_image.h"
#include "core/persistence/settings_file.h"

namespace tev {

// The room the program's own saves need in the folder: each writes a whole new file beside the
// old one before replacing it. A copy set aside must never take it.
inline constexpr std::uint64_t kSavesNeedBytes = kRecordsFileSize + kSettingsFileSize;

// A name beside `path` that no file has yet: path + ".damaged", then ".damaged-2", …
std::string unusedDamagedName(const std::string& path);

// Copies `from` to `to`, which must not exist: the bytes go to a temporary file in the folder
// of `to`, flushed, then renamed to `to`, so a failed copy leaves nothing behind. Refuses before
// writing when the copy would leave less than `reserveBytes` free. Returns the reason of a
// failure (with the system's own words, such as "No space left on device"), else empty.
std::string copyFileAside(const std::string& from, const std::string& to,
                          std::uint64_t reserveBytes);

struct KeptAside {
    std::string keptAs;     // where the file now is (or a copy of it), empty when nowhere
    bool moved = false;     // the file itself was moved there: it could not be copied
    std::string copyError;  // why the copy failed, when it did
    std::string moveError;  // why the move failed too, when it did
    bool kept() const { return !keptAs.empty(); }
};

// Keeps the file at `path` from being replaced by the next save: a copy under an unused
// ".damaged" name, or, when it cannot be copied (unreadable, or no room), the file itself moved
// to that name.
KeptAside keepFileAside(const std::string& path, std::uint64_t reserveBytes = kSavesNeedBytes);

}  // namespace tev
