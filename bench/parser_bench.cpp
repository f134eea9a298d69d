// Throughput of the meter protocol parser on data messages, next to a plain memchr scan of the
// same bytes (the least any parser must do: look at every byte once).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/meterlink/meter_link.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_tone_sink.h"
#include "tools/hoq-sim/meter_messages.h"

namespace {

constexpr int kMessageCount = 1024;
constexpr int kMorningSecs = 8 * 3600 + 5 * 60;  // far from the day-file minutes

std::vector<std::string> dataMessages() {
    std::vector<std::string> messages;
    for (int i = 0; i < kMessageCount; ++i) {
        tev::sim::DataWords words;
        for (int w = 0; w < 21; ++w) words.decimals[w] = 100.0 + i * 0.37 + w;
        words.integers = {0, 0, i, i + 1};
        messages.push_back(tev::sim::buildDataMessage(tev::sim::meterId("BENCH", i % 4),
                                                      "192.168.1.20", 240802,
                                                      kMorningSecs + i % 600, words) +
                           "\r");
    }
    return messages;
}

void parseDataMessages(benchmark::State& state) {
    const std::vector<std::string> messages = dataMessages();
    auto store = std::make_unique<tev::MeasurementStore>();
    tev::testing::FakeClock clock;
    tev::EventLog log(clock);
    tev::testing::RecordingToneSink tones;
    const tev::LanguageMode language = tev::LanguageMode::Bilingual;
    tev::MeterLink link(*store, log, tones, clock, language, "/nonexistent");
    for (const std::string& m : messages) link.handleMessage(m);  // registers the meters

    std::size_t i = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string& m = messages[i++ % messages.size()];
        benchmark::DoNotOptimize(link.handleMessage(m));
        bytes += m.size();
    }
    if (link.counters().abandoned != 0) state.SkipWithError("a data message was abandoned");
    state.counters["messages_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(parseDataMessages);

void memchrScanOfTheSameBytes(benchmark::State& state) {
    const std::vector<std::string> messages = dataMessages();
    std::size_t i = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string& m = messages[i++ % messages.size()];
        int spaces = 0;
        const char* p = m.data();
        const char* end = p + m.size();
        while ((p = static_cast<const char*>(std::memchr(p, ' ', end - p))) != nullptr) {
            ++spaces;
            ++p;
        }
        benchmark::DoNotOptimize(spaces);
        bytes += m.size();
    }
    state.counters["messages_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(memchrScanOfTheSameBytes);

}  // namespace

BENCHMARK_MAIN();
