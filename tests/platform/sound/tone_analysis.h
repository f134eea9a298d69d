#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tev::testing {

// One tone heard in a recording: where it starts, how long it lasts, its pitch.
struct HeardTone {
    double startMs = 0;
    double durationMs = 0;
    double frequencyHz = 0;
};

// Splits 16-bit mono samples into the tones they hold. A tone ends where the signal falls
// silent for at least a millisecond or where its pitch changes (two tones played back to back).
// The pitch is measured from the rising zero crossings, interpolated between samples.
std::vector<HeardTone> tonesIn(const std::vector<std::int16_t>& samples, int sampleRate);

// "1200 Hz 250.0 ms @ 12.0 ms; ..." for failure messages and the measured figures.
std::string describe(const std::vector<HeardTone>& tones);

}  // namespace tev::testing
