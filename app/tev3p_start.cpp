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
#include <string>

#include "app/standard_descriptors.h"

namespace {

constexpr int kCannotStart = 127;

std::string ownFolder() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return ".";
    const std::string path(self, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int main(int argc, char* argv[]) {
    (void)argc;
    tev::openClosedStandardDescriptors();
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &stops, nullptr);

    // Beside this command in the build folder; in the installed package, in its libexec folder.
    const std::string folder = ownFolder();
    const std::string candidates[] = {folder + "/" TEV3P_PROGRAM_NAME,
                                      folder + "/" TEV3P_PROGRAM_FROM_BINDIR};
    int error = 0;
    for (const std::string& path : candidates) {
        ::execv(path.c_str(), argv);
        error = errno;
    }
    ::sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    std::fprintf(stderr, "tev3p: cannot start %s: %s\n", candidates[1].c_str(),
                 std::strerror(error));
    return kCannotStart;
}
