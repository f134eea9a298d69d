#pragma once

#include "platform/clock.h"

namespace tev {

// The computer's clocks: local date and time, the system clock and the monotonic clock. Holds
// no state, so it is read from any thread.
class SystemClock final : public Clock {
  public:
    DateTime now() const override;
    std::chrono::system_clock::time_point wallNow() const override;
    std::chrono::steady_clock::time_point steadyNow() const override;
};

}  // namespace tev
