#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace tev {

// Replaces the file at `path` with `bytes` atomically: the bytes go to a temporary file of a
// unique name in the same folder, are flushed to disk, and the temporary file is renamed over
// `path`. The file keeps the mode it had (a new one gets the usual mode under the umask), and
// when `path` is a symbolic link the file it points to is replaced, not the link.
// Returns an empty text on success, else the reason.
std::string writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// The file a write to `path` lands in: `path` itself, or where its chain of symbolic links
// ends (a link may point to a file that does not exist yet).
std::string resolvedWriteTarget(const std::string& path);

// Reads a file from its start up to its end or up to `maxBytes`, whichever comes first, so that
// a chosen file far larger than expected (or a device that never ends) cannot exhaust memory.
// `error` is empty on success; `missing` tells a file that does not exist.
std::vector<std::uint8_t> readWholeFile(
    const std::string& path, std::string& error, bool& missing,
    std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// The same from an open descriptor, which the caller keeps and closes.
std::vector<std::uint8_t> readWholeDescriptor(
    int fd, std::string& error, std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

}  // namespace tev
