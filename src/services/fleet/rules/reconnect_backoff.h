#pragma once

#include <cstdint>

namespace tev::fleet {

// The waits between attempts to reach the database: doubling from the first up to the longest,
// back to the first once shipping works. Each wait is drawn from its upper half, so that many
// recorders that lost one database together do not all come back in the same second.
class ReconnectBackoff {
  public:
    explicit ReconnectBackoff(int firstMs = 1000, int longestMs = 30000)
        : first_(firstMs), longest_(longestMs) {}

    // The wait before the next attempt, in milliseconds; `random` is any random number.
    int next(std::uint32_t random);
    void reset() { current_ = 0; }

  private:
    int first_;
    int longest_;
    int current_ = 0;
};

}  // namespace tev::fleet
