// 200 meters flood a real MeterServer over loopback; every message goes through MeterLink.
// Prints data messages handled per second, process CPU per message, and whether every meter's
// messages arrived, whole, under its own ID.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/meter_streams.h"
#include "core/meterlink/meter_link.h"
#include "meterport/meter_server.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_tone_sink.h"

namespace {

using namespace tev::bench;

void BM_LoopbackMeters(benchmark::State& state) {
    QTemporaryDir dayFiles;
    tev::MeasurementStore store;
    tev::testing::FakeClock clock{tev::DateTime{2024, 8, 2, 12, 0, 0, 0}};
    tev::EventLog log(clock);
    tev::testing::RecordingToneSink tones;
    tev::LanguageMode language = tev::LanguageMode::English;
    tev::MeterLink link(store, log, tones, clock, language, dayFiles.path().toStdString());

    tev::MeterServerSettings settings;
    settings.address = QHostAddress::LocalHost;
    settings.meterPort = 0;
    settings.secondPort = 0;
    tev::MeterServer server(settings, clock);
    std::map<std::string, int> perId;
    std::int64_t dataMessages = 0;
    std::int64_t malformed = 0;
    server.setMessageHandler([&](std::string_view m) {
        const std::string id = dataMessageId(m);
        if (id.empty() || m.substr(m.size() - 2) != tev::sim::kCrLf) {
            ++malformed;
        } else {
            ++perId[id];
            ++dataMessages;
        }
        return link.handleMessage(m);
    });
    server.start();

    // Every meter's whole stream is built before the clock starts.
    std::vector<std::string> ids;
    const std::vector<QByteArray> streams = buildStreams("BENCH", ids);

    const std::int64_t expected = static_cast<std::int64_t>(kMeters) * kMessagesPerMeter;
    std::vector<std::unique_ptr<QTcpSocket>> meters;
    for (int i = 0; i < kMeters; ++i) {
        meters.push_back(std::make_unique<QTcpSocket>());
        meters.back()->connectToHost(QHostAddress::LocalHost, server.meterPort());
    }
    for (auto& m : meters) m->waitForConnected(kLimitMs);

    QElapsedTimer wall;
    std::int64_t cpuStart = 0;
    for (auto _ : state) {
        wall.start();
        cpuStart = cpuMicroseconds();
        for (int i = 0; i < kMeters; ++i) meters[i]->write(streams[i]);
        while (dataMessages < expected && wall.elapsed() < kLimitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const double seconds = wall.nsecsElapsed() / 1e9;
    const std::int64_t cpuUs = cpuMicroseconds() - cpuStart;

    int wrongCounts = 0;
    for (const auto& id : ids)
        if (perId[id] != kMessagesPerMeter) ++wrongCounts;
    int wrongRows = 0;
    for (int r = 0; r < store.registry.MeterCount; ++r)
        if (store.registry.rows[r].Field24 != kMessagesPerMeter - 1) ++wrongRows;
    const bool whole = dataMessages == expected && malformed == 0 && wrongCounts == 0 &&
                       static_cast<int>(perId.size()) == kMeters &&
                       store.registry.MeterCount == kMeters && wrongRows == 0;

    std::printf("\nloopback: %d meters x %d data messages over 127.0.0.1\n", kMeters,
                kMessagesPerMeter);
    std::printf("  handled            %lld of %lld data messages in %.3f s\n",
                static_cast<long long>(dataMessages), static_cast<long long>(expected), seconds);
    std::printf("  rate               %.0f data messages/s\n", dataMessages / seconds);
    std::printf("  process CPU        %.2f us per message (server, parser and clients)\n",
                dataMessages ? static_cast<double>(cpuUs) / dataMessages : 0.0);
    std::printf(
        "  per-meter counts   %s (%d meters off, %lld malformed, %d registry rows "
        "with a wrong last sequence, %d rows)\n",
        whole ? "all whole, none lost or misattributed" : "MISMATCH", wrongCounts,
        static_cast<long long>(malformed), wrongRows, store.registry.MeterCount);
    state.counters["msgs_per_s"] = dataMessages / seconds;
    state.counters["cpu_us_per_msg"] = dataMessages ? static_cast<double>(cpuUs) / dataMessages : 0;
    state.counters["lost_or_misattributed"] = whole ? 0 : 1;
}

BENCHMARK(BM_LoopbackMeters)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
