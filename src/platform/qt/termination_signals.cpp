#include "platform/qt/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace tev {
namespace {

int pipeEnds[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Non-blocking: with the pipe full the program is already shutting down.
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

}  // namespace

bool installTerminationHandlers() {
    sigset_t caught;
    sigemptyset(&caught);
    for (int s : kSignals) sigaddset(&caught, s);
    if (pipeEnds[0] < 0) {
        // Held back while the pipe and the handlers are set up: a signal in between is
        // neither lost nor fatal.
        ::sigprocmask(SIG_BLOCK, &caught, nullptr);
        if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
            pipeEnds[0] = pipeEnds[1] = -1;
            ::sigprocmask(SIG_UNBLOCK, &caught, nullptr);
            return false;
        }
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int s : kSignals) ::sigaction(s, &action, nullptr);
    }
    // The tev3p command starts the program with these signals held back, so that a stop
    // during the loading of its libraries waits; it is delivered here, into the pipe.
    ::sigprocmask(SIG_UNBLOCK, &caught, nullptr);
    return true;
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (!installTerminationHandlers()) return;
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
}

// The handlers stay: a signal during the last saves, after the event loop has ended, must
// not end the program by the signal. It only lands in the pipe.
TerminationSignals::~TerminationSignals() = default;

void TerminationSignals::readPipe() {
    unsigned char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1) emit received(byte);
}

}  // namespace tev
