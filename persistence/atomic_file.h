#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tev {

// Replaces the file at `path` with `bytes` atomically: the bytes go to a temporary file in the
// same folder, are flushed to disk, and the temporary file is renamed over `path`.
// Returns an empty text on success, else the reason.
std::string writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Reads a whole file. `error` is empty on success; `missing` tells a file that does not exist.
std::vector<std::uint8_t> readWholeFile(const std::string& path, std::string& error, bool& missing);

}  // namespace tev
