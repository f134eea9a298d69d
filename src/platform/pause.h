#pragma once

namespace tev {

// A blocking wait (the one-second waits of the shutdown).
class Pause {
  public:
    virtual ~Pause() = default;
    virtual void pause(int milliseconds) = 0;
};

}  // namespace tev
