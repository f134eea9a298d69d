#pragma once

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace tev::app {

// A stop always ends. Armed once the event loop has returned (both files saved by the window's
// close), it ends the process with status 1 and a line on standard error should the services'
// stops still run when the limit has passed: a reader stuck on a dead disk, say, must not
// keep a service manager waiting for its SIGKILL.
class StopWatchdog {
  public:
    explicit StopWatchdog(std::chrono::milliseconds limit)
        : thread_([this, limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (wake_.wait_for(lock, limit, [this] { return done_; })) return;
              std::fputs("tev3p: the services did not stop in time; ending without them\n", stderr);
              std::fflush(stdout);
              ::_exit(1);
          }) {}
    ~StopWatchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    StopWatchdog(const StopWatchdog&) = delete;
    StopWatchdog& operator=(const StopWatchdog&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace tev::app
