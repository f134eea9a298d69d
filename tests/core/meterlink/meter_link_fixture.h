#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "core/meterlink/meter_link.h"
#include "core/store/measurement_store.h"
#include "core/texts/event_log.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_tone_sink.h"

namespace tev::testing {

inline constexpr std::string_view kMeterA = "0123456789AB";
inline constexpr std::string_view kMeterB = "HOQ000000002";

// The 25 words of a data message as the meter writes them.
using WordTexts = std::array<std::string, 25>;

inline WordTexts typicalWords() {
    return {"230.0",  "231.0", "229.0", "1.00", "2.00", "3.00", "5.00", "4.00", "3.00",
            "10.500", "11.0",  "12.0",  "13.0", "14.0", "15.0", "16.0", "17.0", "18.0",
            "19.0",   "20.0",  "21.0",  "0",    "0",    "7",    "8"};
}

// "HOQ-260", two free characters, the ID at 10-21, " IP=" + ip, "[date]" from character 30,
// "<secs>", then every word followed by a space, and a carriage return as terminator.
inline std::string dataMessage(std::string_view id, int date, int secs,
                               const WordTexts& words = typicalWords(),
                               std::string_view ip = "192.168.1.20",
                               std::string_view model = "HOQ-260") {
    std::string m = std::string(model) + "  " + std::string(id) + " IP=" + std::string(ip) + " ";
    if (m.size() < 29) m.resize(29, ' ');
    m += "[" + std::to_string(date) + "] <" + std::to_string(secs) + "> ";
    for (const std::string& w : words) m += w + " ";
    return m + "\r";
}

inline std::string deviceMessage(std::string_view id, std::string_view model = "HOQ-260") {
    std::string m = std::string(model) + " PWR " + std::string(id) + " [HOQ-260 3P] <Plant 7>";
    m += " 11 22 33";
    for (int i = 1; i <= 15; ++i) m += " " + std::to_string(i) + ".5";
    return m + " KITCHEN\r";
}

inline std::string pollMessage(std::string_view id) {
    return "HQ2 " + std::string(id) + "\r";
}

// A store, log, tones, clock and link, with day files going to a fresh temporary directory.
class MeterLinkTest : public ::testing::Test {
  protected:
    MeterLinkTest() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "meterlink-test-XXXXXX").string();
        directory = mkdtemp(pattern.data());
        clock.set(2024, 8, 2, 8, 5, 0);
        link = std::make_unique<MeterLink>(*store, log, tones, clock, language, directory);
    }
    ~MeterLinkTest() override {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    MeterEntry& row(int k) { return store->registry.rows[k]; }
    const std::string& lastLine() const { return log.lines().back(); }

    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
    FakeClock clock;
    EventLog log{clock};
    RecordingToneSink tones;
    LanguageMode language = LanguageMode::Bilingual;
    std::string directory;
    std::unique_ptr<MeterLink> link;
};

}  // namespace tev::testing
