#pragma once

#include <utility>
#include <vector>

#include "platform/pause.h"
#include "platform/tone_sink.h"

namespace tev::testing {

struct Tone {
    int frequencyHz;
    int durationMs;
    bool operator==(const Tone&) const = default;
};

// Keeps every tone asked for, in order.
class RecordingToneSink final : public ToneSink {
  public:
    void beep(int frequencyHz, int durationMs) override {
        tones.push_back({frequencyHz, durationMs});
    }
    std::vector<Tone> tones;
};

// Records the waits instead of sleeping.
class RecordingPause final : public Pause {
  public:
    void pause(int milliseconds) override { waits.push_back(milliseconds); }
    std::vector<int> waits;
};

}  // namespace tev::testing
