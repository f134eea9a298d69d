#pragma once

#include <unistd.h>

#include <memory>
#include <string_view>

#include "core/texts/log_output_buffer.h"
#include "platform/line_output.h"

class QSocketNotifier;

namespace tev::app {

// The event log's echo on standard output. Lines wait in a bounded buffer and are written
// only as fast as the reader takes them, from the event loop: a stalled pipe costs dropped
// lines (told afterwards as "… N log lines not written to standard output"), never a frozen
// program, and a reader gone for good (EPIPE) ends the echo and nothing else.
//
// A pipe or terminal is written through a descriptor of its own opened non-blocking, so that
// the shell that shares standard output never sees its flags changed; a socket (a service
// journal) is written with MSG_DONTWAIT; a regular file is written as it is.
class StandardOutput final : public LineOutput {
  public:
    explicit StandardOutput(int fd = STDOUT_FILENO,
                            std::size_t capacity = LogOutputBuffer::kDefaultCapacity);
    ~StandardOutput() override;
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    void writeLine(std::string_view line) override;

    // At the end of the program: gives the reader up to `timeoutMs` to take the lines that
    // still wait (the last saves' lines), without waiting longer for a stalled one.
    void finish(int timeoutMs);

    // Standard output has gone for good (EPIPE or another write error).
    bool stopped() const { return buffer_.closed(); }
    const LogOutputBuffer& buffer() const { return buffer_; }

  private:
    enum class Kind { Plain, NonBlocking, Socket };
    enum class Progress { Done, WouldBlock, Stopped };

    // Writes as much as the reader takes now.
    Progress writePending();
    void flush();
    void stop();

    int fd_ = -1;
    bool ownFd_ = false;
    // The flags of a shared descriptor that had to be made non-blocking, restored at the end.
    int restoreFlags_ = -1;
    Kind kind_ = Kind::Plain;
    LogOutputBuffer buffer_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// The buffer's capacity from TEV3P_LOG_BUFFER_BYTES (4 KB … 64 MB), else the default.
std::size_t logBufferCapacityFromEnvironment();

}  // namespace tev::app
