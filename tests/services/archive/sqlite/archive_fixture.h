#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "services/archive/rules/archive_sample.h"
#include "services/archive/rules/local_time.h"
#include "services/archive/sqlite/archive_writer.h"
#include "tests/support/fake_clock.h"

namespace tev::archive::testing {

// A fresh folder per test, removed afterwards; Central European time for hand-computed periods.
class ArchiveFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
        char pattern[] = "/tmp/tev-archive-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        // The writer's present for retention: by default before every row of the tests.
        clock.setUnixSeconds(1'700'000'000);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    ArchiveWriterOptions options() {
        ArchiveWriterOptions o;
        o.folder = folder;
        o.commitMilliseconds = 60'000;  // the tests flush when they want a commit
        o.log = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(logMutex);
            log.push_back(line);
        };
        return o;
    }
    std::vector<std::string> logLines() {
        std::lock_guard<std::mutex> lock(logMutex);
        return log;
    }

    std::string folder;
    tev::testing::FakeClock clock;
    std::mutex logMutex;
    std::vector<std::string> log;
};

inline ArchiveSample sampleAt(const char* id, std::int64_t t, std::array<float, 3> v,
                              std::array<float, 3> a, float dayEnergy) {
    ArchiveSample s;
    s.setId(id);
    s.unixSeconds = t;
    s.volts = v;
    s.amps = a;
    s.dayEnergy = dayEnergy;
    return s;
}

inline std::int64_t at(const char* iso) {
    return *parseIsoTime(iso);
}

}  // namespace tev::archive::testing
