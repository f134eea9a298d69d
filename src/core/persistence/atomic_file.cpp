#include "core/persistence/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace tev {
namespace {

// Enough for any loop of links a user could make by mistake; the kernel's own limit is 40.
constexpr int kMaxLinkHops = 40;

std::string reason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

std::string folderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// The mode a file created now gets: 0666 under the process's umask.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::string resolvedWriteTarget(const std::string& path) {
    std::string target = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return target;
        std::string link(static_cast<std::size_t>(PATH_MAX), '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0) return target;
        link.resize(static_cast<std::size_t>(n));
        // A relative link is relative to the folder that holds it.
        const std::string::size_type slash = target.rfind('/');
        const std::string folder =
            slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
        target = link.front() == '/' ? link : folder + link;
    }
    return target;
}

std::string writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    const std::string target = resolvedWriteTarget(path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    const mode_t mode = exists ? (existing.st_mode & 07777) : newFileMode();

    // A unique name: a file the user keeps beside the target under any fixed name is safe.
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return reason("cannot create");
    const auto fail = [&](const char* what) {
        std::string why = reason(what);
        ::close(fd);
        ::unlink(temp.c_str());
        return why;
    };
    if (::fchmod(fd, mode) != 0) return fail("cannot set the mode");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return fail("cannot flush");
    if (::close(fd) != 0) {
        std::string why = reason("cannot close");
        ::unlink(temp.c_str());
        return why;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        std::string why = reason("cannot replace");
        ::unlink(temp.c_str());
        return why;
    }
    // The rename itself reaches the disk only with its folder: without this a power cut soon
    // after the save could bring back the old file.
    const int dir = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

std::vector<std::uint8_t> readWholeDescriptor(int fd, std::string& error, std::size_t maxBytes) {
    error.clear();
    std::vector<std::uint8_t> bytes;
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
    return bytes;
}

std::vector<std::uint8_t> readWholeFile(const std::string& path, std::string& error, bool& missing,
                                        std::size_t maxBytes) {
    error.clear();
    missing = false;
    // A named pipe without a writer would otherwise hold the program in open().
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        missing = (errno == ENOENT);
        error = reason("cannot open");
        return {};
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
        ::close(fd);
        error = "cannot read: not a regular file";
        return {};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::vector<std::uint8_t> bytes = readWholeDescriptor(fd, error, maxBytes);
    ::close(fd);
    return bytes;
}

}  // namespace tev
