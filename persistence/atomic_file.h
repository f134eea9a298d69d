#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace tev {

// Replaces the file at `path` with `bytes` atomically: the bytes go to a temporary file in the
// same folder, are flushed to disk, and the temporary file is renamed over `path`.
// Returns an empty text on success, else the reason.
std::string writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Reads a file from its start up to its end or up to `maxBytes`, whichever comes first, so that
// a chosen file far larger than expected (or a device that never ends) cannot exhaust memory.
// `error` is empty on success; `missing` tells a file that does not exist.
std::vector<std::uint8_t> readWholeFile(
    const std::string& path, std::string& error, bool& missing,
    std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

}  // namespace tev
