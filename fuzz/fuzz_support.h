#pragma once

// Shared by the fuzz targets: a clock that stands still unless told, a silent tone sink, a
// scratch folder for day files, and the check that a log line is fit for a terminal.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/tone_sink.h"

namespace tev::fuzz {

class StillClock final : public Clock {
  public:
    DateTime now() const override { return now_; }
    std::chrono::system_clock::time_point wallNow() const override { return {}; }
    std::chrono::steady_clock::time_point steadyNow() const override { return {}; }
    DateTime now_{2024, 8, 2, 12, 0, 0, 0};
};

class SilentTones final : public ToneSink {
  public:
    void beep(int, int) override {}
};

// A folder of its own under the system's temporary folder, removed when the process ends.
inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "tev-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        static const std::string removeAtExit = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removeAtExit, ignored);
        });
        return pattern;
    }();
    return folder;
}

// Fails the run when a log line holds a control character.
inline void checkLogLine(std::string_view line) {
    for (char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            std::fprintf(stderr, "control character %d in a log line\n", u);
            std::abort();
        }
    }
}

}  // namespace tev::fuzz
