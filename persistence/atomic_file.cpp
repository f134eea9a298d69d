#include "persistence/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tev {
namespace {

std::string reason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::string writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return reason("cannot create");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            std::string why = reason("cannot write");
            ::close(fd);
            ::unlink(temp.c_str());
            return why;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        std::string why = reason("cannot flush");
        ::close(fd);
        ::unlink(temp.c_str());
        return why;
    }
    if (::close(fd) != 0) {
        std::string why = reason("cannot close");
        ::unlink(temp.c_str());
        return why;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        std::string why = reason("cannot replace");
        ::unlink(temp.c_str());
        return why;
    }
    // The rename itself reaches the disk only with its folder: without this a power cut soon
    // after the save could bring back the old file.
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

std::vector<std::uint8_t> readWholeFile(const std::string& path, std::string& error, bool& missing,
                                        std::size_t maxBytes) {
    error.clear();
    missing = false;
    std::vector<std::uint8_t> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = (errno == ENOENT);
        error = reason("cannot open");
        return bytes;
    }
    struct stat info {};
    constexpr std::size_t kChunk = 65536;
    if (::fstat(fd, &info) == 0 && info.st_size > 0)
        bytes.reserve(std::min(static_cast<std::size_t>(info.st_size), maxBytes));
    std::size_t size = 0;
    while (size < maxBytes) {
        if (bytes.size() < size + kChunk)
            bytes.resize(std::min(std::max(bytes.capacity(), size + kChunk), maxBytes));
        const ssize_t n = ::read(fd, bytes.data() + size, bytes.size() - size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = reason("cannot read");
            break;
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    bytes.resize(size);
    ::close(fd);
    return bytes;
}

}  // namespace tev
