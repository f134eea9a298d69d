#pragma once

#include "platform/pause.h"

namespace tev {

// Blocks the calling thread for the given time.
class ThreadPause final : public Pause {
  public:
    void pause(int milliseconds) override;
};

}  // namespace tev
