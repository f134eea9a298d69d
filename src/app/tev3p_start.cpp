// The tev3p command. The power monitor itself (tev3p-program) loads some seventy libraries
// before its first line runs, tens of milliseconds on a busy machine; a service stop in that
// time would end it by the signal instead of cleanly. This small command, which loads only the
// C library, holds the stop signals back, puts the standard descriptors in place and then
// becomes the program in the same process: a stop that arrives meanwhile waits until the
// program's own handlers take it.
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/standard_descriptors.h"

namespace {

constexpr int kCannotStart = 127;

// `name` in the folder of this command (plain C strings: the C++ library is not loaded).
bool besideThisCommand(const char* name, char (&path)[PATH_MAX]) {
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return false;
    path[n] = '\0';
    char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return false;
    const std::size_t folder = static_cast<std::size_t>(slash - path) + 1;
    return std::snprintf(path + folder, sizeof path - folder, "%s", name) <
           static_cast<int>(sizeof path - folder);
}

}  // namespace

int main(int, char* argv[]) {
    tev::app::openClosedStandardDescriptors();
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &stops, nullptr);

    // Beside this command in the build folder; in the installed package, in its libexec folder.
    char path[PATH_MAX];
    int error = ENOENT;
    const char* const names[] = {TEV3P_PROGRAM_NAME, TEV3P_PROGRAM_FROM_BINDIR};
    for (const char* name : names) {
        if (!besideThisCommand(name, path)) continue;
        ::execv(path, argv);
        error = errno;
    }
    ::sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    std::fprintf(stderr, "tev3p: cannot start %s: %s\n", TEV3P_PROGRAM_FROM_BINDIR,
                 std::strerror(error));
    return kCannotStart;
}
