#pragma once

#include "platform/clock.h"

namespace tev {

// The computer's local date and time.
class SystemClock final : public Clock {
  public:
    DateTime now() const override;
};

}  // namespace tev
