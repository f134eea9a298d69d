#include "core/persistence/kept_aside.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tev {
namespace {

constexpr std::size_t kCopyChunk = 65536;
constexpr int kMaxDamagedNames = 1000;

std::string reason(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

std::string folderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// rename() that never replaces a file already at `to` (someone may have made one meanwhile).
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without the flag: the name was checked unused a moment ago.
    if (exists(to)) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

}  // namespace

std::string unusedDamagedName(const std::string& path) {
    std::string name = path + ".damaged";
    for (int n = 2; exists(name) && n < kMaxDamagedNames; ++n)
        name = path + ".damaged-" + std::to_string(n);
    return name;
}

std::string copyFileAside(const std::string& from, const std::string& to,
                          std::uint64_t reserveBytes) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) return reason("cannot open", errno);
    struct stat info {};
    if (::fstat(in, &info) != 0) {
        const int error = errno;
        ::close(in);
        return reason("cannot read", error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(in);
        return "not a regular file";
    }
    const std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
    struct statvfs space {};
    if (::statvfs(folderOf(to).c_str(), &space) == 0) {
        const std::uint64_t free = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
        if (free < size + reserveBytes) {
            ::close(in);
            return reason("cannot copy", ENOSPC) + " (" + std::to_string(free) +
                   " bytes free; the copy needs " + std::to_string(size) + " and the saves " +
                   std::to_string(reserveBytes) + ")";
        }
    }
    std::string temp = to + ".XXXXXX";
    const int out = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return reason("cannot create", error);
    }
    const auto fail = [&](const char* what, int error) {
        ::close(in);
        ::close(out);
        ::unlink(temp.c_str());
        return reason(what, error);
    };
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail("cannot read", errno);
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w =
                ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return fail("cannot write", errno);
            done += w;
        }
    }
    ::fchmod(out, info.st_mode & 07777);
    if (::fsync(out) != 0) return fail("cannot flush", errno);
    ::close(in);
    if (::close(out) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return reason("cannot close", error);
    }
    if (renameNoReplace(temp, to) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return reason("cannot name the copy", error);
    }
    return {};
}

KeptAside keepFileAside(const std::string& path, std::uint64_t reserveBytes) {
    KeptAside kept;
    const std::string target = unusedDamagedName(path);
    kept.copyError = copyFileAside(path, target, reserveBytes);
    if (kept.copyError.empty()) {
        kept.keptAs = target;
        return kept;
    }
    // Moving takes no room and needs no reading: the file is kept whole under the new name.
    if (renameNoReplace(path, target) != 0) {
        kept.moveError = reason("cannot move", errno);
        return kept;
    }
    kept.keptAs = target;
    kept.moved = true;
    return kept;
}

}  // namespace tev
