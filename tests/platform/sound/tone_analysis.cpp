#include "tests/platform/sound/tone_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tev::testing {
namespace {

// A millisecond block is sound when its peak passes this level; the tones play at about 13 000.
constexpr int kSoundLevel = 1000;
// A rising crossing counts when the signal climbs at least this much across it; the faint ripple
// the server's resampler leaves around the end of a tone crosses zero far more gently.
constexpr int kCrossingRise = 64;
// A pitch change is taken as a new tone when this many periods in a row differ by more than
// kPitchStep from the tone so far; a lone odd period where two tones meet is ignored.
constexpr int kPeriodsToSplit = 4;
constexpr double kPitchStep = 0.05;

struct Run {
    std::size_t begin = 0;
    std::size_t end = 0;
};

std::vector<Run> soundRuns(const std::vector<std::int16_t>& samples, int sampleRate) {
    const std::size_t block = static_cast<std::size_t>(std::max(1, sampleRate / 1000));
    std::vector<Run> runs;
    bool inRun = false;
    for (std::size_t b = 0; b < samples.size(); b += block) {
        const std::size_t e = std::min(samples.size(), b + block);
        int peak = 0;
        for (std::size_t i = b; i < e; ++i) peak = std::max(peak, std::abs(int{samples[i]}));
        const bool sound = peak > kSoundLevel;
        if (sound && !inRun) runs.push_back({b, e});
        if (sound) runs.back().end = e;
        inRun = sound;
    }
    return runs;
}

// Rising zero crossings inside [begin, end), as fractional sample positions.
std::vector<double> risingCrossings(const std::vector<std::int16_t>& s, const Run& run) {
    std::vector<double> at;
    for (std::size_t i = run.begin + 1; i < run.end; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0 && s[i] - s[i - 1] >= kCrossingRise) {
            const double a = s[i - 1];
            const double b = s[i];
            at.push_back(static_cast<double>(i - 1) + (-a) / (b - a));
        }
    }
    return at;
}

double meanFrequency(const std::vector<double>& crossings, std::size_t first, std::size_t last,
                     int sampleRate) {
    if (last <= first) return 0;
    return static_cast<double>(last - first) * sampleRate / (crossings[last] - crossings[first]);
}

}  // namespace

std::vector<HeardTone> tonesIn(const std::vector<std::int16_t>& samples, int sampleRate) {
    std::vector<HeardTone> tones;
    const double msPerSample = 1000.0 / sampleRate;
    for (const Run& run : soundRuns(samples, sampleRate)) {
        const std::vector<double> x = risingCrossings(samples, run);
        // Each tone's span of crossings and its start; a pitch change cuts the run at a crossing.
        struct Piece {
            std::size_t first = 0;
            std::size_t last = 0;
            double begin = 0;
        };
        std::vector<Piece> pieces{{0, 0, static_cast<double>(run.begin)}};
        for (std::size_t k = 2; k + kPeriodsToSplit < x.size(); ++k) {
            Piece& current = pieces.back();
            if (k - current.first < 2) continue;
            const double ref = meanFrequency(x, current.first, k, sampleRate);
            bool changed = true;
            for (int j = 0; j < kPeriodsToSplit && changed; ++j) {
                const double f = sampleRate / (x[k + j + 1] - x[k + j]);
                changed = std::abs(f - ref) > kPitchStep * ref;
            }
            if (!changed) continue;
            // The period from x[k] to x[k + 1] joins the two tones and counts to neither pitch.
            current.last = k;
            pieces.push_back({k + 1, 0, x[k]});
            ++k;
        }
        pieces.back().last = x.empty() ? 0 : x.size() - 1;
        for (std::size_t t = 0; t < pieces.size(); ++t) {
            const double end = t + 1 < pieces.size() ? pieces[t + 1].begin : run.end;
            HeardTone tone;
            tone.startMs = pieces[t].begin * msPerSample;
            tone.durationMs = (end - pieces[t].begin) * msPerSample;
            tone.frequencyHz = meanFrequency(x, pieces[t].first, pieces[t].last, sampleRate);
            tones.push_back(tone);
        }
    }
    return tones;
}

std::string describe(const std::vector<HeardTone>& tones) {
    std::string text;
    for (const HeardTone& t : tones) {
        char line[96];
        std::snprintf(line, sizeof line, "%s%.1f Hz %.1f ms @ %.1f ms", text.empty() ? "" : "; ",
                      t.frequencyHz, t.durationMs, t.startMs);
        text += line;
    }
    return text.empty() ? "no tone" : text;
}

}  // namespace tev::testing
