#include "app/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace tev::app {

int openClosedStandardDescriptors() {
    int opened = 0;
    // In order from 0: open() gives the lowest free number, which is the one being filled.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null < 0) continue;
        if (null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
        ++opened;
    }
    return opened;
}

void ignoreBrokenPipeSignal() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace tev::app
