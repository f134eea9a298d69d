#pragma once

#include "platform/tone_sink.h"

namespace tev {

// The tones of a program without a screen: nobody is there to hear them, and opening a sound
// output would reach for a sound server that a service or a server machine does not have.
class SilentToneSink final : public ToneSink {
  public:
    void beep(int, int) override {}
};

}  // namespace tev
