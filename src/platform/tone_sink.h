#pragma once

namespace tev {

// Plays the short tones with which every command answers.
class ToneSink {
  public:
    virtual ~ToneSink() = default;
    virtual void beep(int frequencyHz, int durationMs) = 0;
};

}  // namespace tev
