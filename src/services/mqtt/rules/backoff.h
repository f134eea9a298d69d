#pragma once

#include <algorithm>

namespace tev::mqtt {

// Waits between connection attempts: doubling from the first wait up to the longest, back to
// the first after a connection succeeded.
class Backoff {
  public:
    Backoff(int firstMs = 1000, int longestMs = 60000) : first_(firstMs), longest_(longestMs) {}

    // The wait before the next attempt; each call doubles the one after.
    int next() {
        const int wait = current_ == 0 ? first_ : current_;
        current_ = std::min(wait * 2, longest_);
        return wait;
    }
    void reset() { current_ = 0; }

  private:
    int first_;
    int longest_;
    int current_ = 0;
};

}  // namespace tev::mqtt
