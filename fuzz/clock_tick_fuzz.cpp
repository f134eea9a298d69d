// Meter messages mixed with one-second ticks whose clock jumps forward and back. The input is
// a list of steps: a step byte below 0x40 moves the clock by (byte - 0x20) seconds, 0x40 and
// above by whole hours or days, each followed by a tick; a newline-ended text is a message.
// Nothing may crash, the registry stays within its rows and table counts within their slots.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/meterlink/clock_tick.h"
#include "core/meterlink/meter_link.h"
#include "fuzz/fuzz_support.h"

namespace {

int daysIn(int year, int month) {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Moves a date and time by any number of seconds, either way, within 2001 … 2098.
tev::DateTime moved(tev::DateTime t, std::int64_t seconds) {
    std::int64_t s = t.hour * 3600 + t.minute * 60 + t.second + seconds;
    std::int64_t days = s >= 0 ? s / 86400 : -((-s + 86399) / 86400);
    s -= days * 86400;
    t.hour = static_cast<int>(s / 3600);
    t.minute = static_cast<int>(s / 60 % 60);
    t.second = static_cast<int>(s % 60);
    for (; days > 0; --days) {
        if (++t.day > daysIn(t.year, t.month)) {
            t.day = 1;
            if (++t.month > 12) t.month = 1, ++t.year;
        }
    }
    for (; days < 0; ++days) {
        if (--t.day < 1) {
            if (--t.month < 1) t.month = 12, --t.year;
            t.day = daysIn(t.year, t.month);
        }
    }
    if (t.year < 2001 || t.year > 2098)
        t = tev::DateTime{2024, 8, 2, t.hour, t.minute, t.second, 0};
    return t;
}

struct World {
    std::unique_ptr<tev::MeasurementStore> store = std::make_unique<tev::MeasurementStore>();
    tev::fuzz::StillClock clock;
    tev::EventLog log{clock, 1000, 1 << 20};
    tev::fuzz::SilentTones tones;
    tev::LanguageMode language = tev::LanguageMode::English;
    tev::MeterLink link{*store, log, tones, clock, language, tev::fuzz::scratchFolder()};
    tev::ClockTick tick{*store, log, tones, clock, language, link};
    World() {
        log.addListener([](const std::string& line) { tev::fuzz::checkLogLine(line); });
    }
};

void check(const tev::MeasurementStore& store) {
    if (store.registry.MeterCount < 0 || store.registry.MeterCount > tev::kMeterRegistryCapacity)
        __builtin_trap();
    for (int i = 0; i < tev::kScaleCount; ++i) {
        const tev::ScaleTable& t = store.tableAt(i);
        if (t.cnt < 0 || t.cnt >= t.rowSlots()) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World world;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t i = 0;
    while (i < input.size()) {
        const auto step = static_cast<unsigned char>(input[i]);
        if (step < 0x40 && step != '\n') {
            world.clock.now_ = moved(world.clock.now_, static_cast<int>(step) - 0x20);
            world.tick.onTimer();
            ++i;
        } else if (step >= 0xf0) {
            // Hours (0xf0 … 0xf7) or days (0xf8 … 0xff), forward for even and back for odd.
            const std::int64_t unit = step < 0xf8 ? 3600 : 86400;
            const std::int64_t amount = (step & 7) / 2 + 1;
            world.clock.now_ = moved(world.clock.now_, (step & 1 ? -1 : 1) * unit * amount);
            world.tick.onTimer();
            ++i;
        } else {
            std::size_t end = input.find('\n', i);
            end = end == std::string_view::npos ? input.size() : end + 1;
            world.link.handleMessage(input.substr(i, end - i));
            i = end;
        }
        check(*world.store);
    }
    return 0;
}
