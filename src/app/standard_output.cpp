#include "app/standard_output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace tev::app {

StandardOutput::StandardOutput(int fd, std::size_t capacity) : fd_(fd), buffer_(capacity) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        buffer_.close();
        return;
    }
    if (S_ISSOCK(st.st_mode)) {
        kind_ = Kind::Socket;
        return;
    }
    if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) return;
    // A pipe, a FIFO or a terminal: opened again through /proc, it gets a description of its
    // own whose non-blocking flag nobody else sees.
    const std::string again = "/proc/self/fd/" + std::to_string(fd);
    const int own = ::open(again.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat ownSt {};
    if (own >= 0 && ::fstat(own, &ownSt) == 0 && ownSt.st_dev == st.st_dev &&
        ownSt.st_ino == st.st_ino) {
        fd_ = own;
        ownFd_ = true;
    } else {
        if (own >= 0) ::close(own);
        // No /proc, or a pipe whose reader is already gone: the shared descriptor is made
        // non-blocking for the program's run.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && (flags & O_NONBLOCK) == 0 &&
            ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0)
            restoreFlags_ = flags;
    }
    kind_ = Kind::NonBlocking;
}

StandardOutput::~StandardOutput() {
    notifier_.reset();
    if (ownFd_) ::close(fd_);
    if (restoreFlags_ >= 0) ::fcntl(fd_, F_SETFL, restoreFlags_);
}

void StandardOutput::writeLine(std::string_view line) {
    if (!buffer_.push(line)) return;
    // While the reader is behind, the notifier says when it takes more; writing before that
    // would only fail again.
    if (notifier_ == nullptr || !notifier_->isEnabled()) flush();
}

StandardOutput::Progress StandardOutput::writePending() {
    while (!buffer_.empty()) {
        const std::string_view bytes = buffer_.pending();
        const ssize_t n = kind_ == Kind::Socket
                              ? ::send(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL)
                              : ::write(fd_, bytes.data(), bytes.size());
        if (n > 0) {
            buffer_.consume(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return Progress::WouldBlock;
        } else {
            // EPIPE: the reader has gone and will not come back. Any other failure (a full
            // disk under a redirected file, an I/O error) is treated alike: the echo ends, the
            // program goes on.
            stop();
            return Progress::Stopped;
        }
    }
    return Progress::Done;
}

void StandardOutput::flush() {
    const Progress progress = writePending();
    if (progress == Progress::WouldBlock) {
        if (notifier_ == nullptr && QCoreApplication::instance() != nullptr) {
            notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
            QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                             [this] { flush(); });
        }
        if (notifier_ != nullptr) notifier_->setEnabled(true);
    } else if (notifier_ != nullptr) {
        notifier_->setEnabled(false);
    }
}

void StandardOutput::stop() {
    buffer_.close();
    if (notifier_ != nullptr) notifier_->setEnabled(false);
}

void StandardOutput::finish(int timeoutMs) {
    if (notifier_ != nullptr) notifier_->setEnabled(false);
    QElapsedTimer clock;
    clock.start();
    while (writePending() == Progress::WouldBlock) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) return;
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left));
    }
}

std::size_t logBufferCapacityFromEnvironment() {
    constexpr std::size_t kLeast = 4 * 1024;
    constexpr std::size_t kMost = 64 * 1024 * 1024;
    const char* text = std::getenv("TEV3P_LOG_BUFFER_BYTES");
    if (text == nullptr || *text == '\0') return LogOutputBuffer::kDefaultCapacity;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*end != '\0') return LogOutputBuffer::kDefaultCapacity;
    return std::clamp<std::size_t>(static_cast<std::size_t>(value), kLeast, kMost);
}

}  // namespace tev::app
