// The meter protocol handler on any bytes: the input is one connection's stream cut at its
// line ends, each piece handed to the handler as one message. Nothing may crash, the registry
// stays within its 200 rows and no log line carries a control character.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/meterlink/meter_link.h"
#include "fuzz/fuzz_support.h"

namespace {

struct World {
    std::unique_ptr<tev::MeasurementStore> store = std::make_unique<tev::MeasurementStore>();
    tev::fuzz::StillClock clock;
    tev::EventLog log{clock, 1000, 1 << 20};
    tev::fuzz::SilentTones tones;
    tev::LanguageMode language = tev::LanguageMode::Bilingual;
    tev::MeterLink link{*store, log, tones, clock, language, tev::fuzz::scratchFolder()};
    World() {
        log.addListener([](const std::string& line) { tev::fuzz::checkLogLine(line); });
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World world;
    world.store->registry.MeterCount = 0;
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start < stream.size()) {
        std::size_t end = stream.find('\n', start);
        end = end == std::string_view::npos ? stream.size() : end + 1;
        world.link.handleMessage(stream.substr(start, end - start));
        if (world.store->registry.MeterCount < 0 ||
            world.store->registry.MeterCount > tev::kMeterRegistryCapacity)
            __builtin_trap();
        start = end;
    }
    return 0;
}
