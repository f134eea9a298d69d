#pragma once

#include <atomic>
#include <chrono>
#include <memory>

namespace tev::archive {

// How long one archive answer may read before it is abandoned: its query is interrupted and
// the client told to try again later. Ten seconds is far more than the largest answer takes
// (three years of hour rows, a week of minute rows) on a slow disk.
inline constexpr std::chrono::seconds kArchiveReadLimit{10};

// When a reader thread gives up its work: once the work's deadline has passed, or once the
// owner (the web server, stopping) raises the shared flag. Read from the reader thread while
// the owner writes the flag.
class ReadStop {
  public:
    using Clock = std::chrono::steady_clock;
    ReadStop(Clock::time_point deadline, std::shared_ptr<const std::atomic<bool>> ownerStopping)
        : deadline_(deadline), ownerStopping_(std::move(ownerStopping)) {}

    bool ownerStopping() const {
        return ownerStopping_ && ownerStopping_->load(std::memory_order_relaxed);
    }
    bool pastDeadline() const { return Clock::now() >= deadline_; }
    // True once stopped() has said so: the work gave up, and what it made is incomplete.
    bool gaveUp() const { return stopped_.load(std::memory_order_relaxed); }
    // True from the moment the work should end; stays true.
    bool stopped() const {
        if (stopped_.load(std::memory_order_relaxed)) return true;
        if (!ownerStopping() && !pastDeadline()) return false;
        stopped_.store(true, std::memory_order_relaxed);
        return true;
    }

  private:
    Clock::time_point deadline_;
    std::shared_ptr<const std::atomic<bool>> ownerStopping_;
    mutable std::atomic<bool> stopped_{false};
};

}  // namespace tev::archive
