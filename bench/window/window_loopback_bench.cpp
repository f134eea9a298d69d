// The meters' loopback flood and an ADC-report flood into the real main window (offscreen): its
// own meter socket, protocol and coalesced repaints, and a bounded event log.
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
#include "window/mainwindow/tsdf.h"

namespace {

using namespace tev::bench;

// The real main window, shown offscreen, with its meter sockets on loopback (free ports), its
// day files in a folder of its own, and fake tones, pauses and clock.
struct ShownWindow {
    QTemporaryDir dayFiles;
    tev::testing::RecordingToneSink tones;
    tev::testing::RecordingPause pause;
    tev::testing::FakeClock clock{tev::DateTime{2024, 8, 2, 12, 0, 0, 0}};
    tev::Tsdf sdf{seams()};

    ShownWindow() { sdf.show(); }
    tev::WindowSeams seams() {
        tev::WindowSeams s{&clock, &tones, &pause};
        s.sockets = tev::MeterServerSettings{QHostAddress::LocalHost, 0, 0};
        s.workingDirectory = dayFiles.path().toStdString();
        return s;
    }
};

// The same flood into the real main window (offscreen): its own meter socket, protocol and
// coalesced repaints, shown on screen while the messages arrive.
void BM_LoopbackMetersIntoTheMainWindow(benchmark::State& state) {
    ShownWindow shown;
    tev::Tsdf& sdf = shown.sdf;
    // Both charts busy: CH1 voltage and CH2 power, on the one-minute scale.
    sdf.view().channels[0].quantity = tev::Quantity::V1;
    sdf.view().channels[1].quantity = tev::Quantity::Watt;
    sdf.timeScaleLabelClick(1, tev::TimeScale::Min);
    sdf.timeScaleLabelClick(2, tev::TimeScale::Min);
    QCoreApplication::processEvents();
    const tev::MeterLinkCounters& counters = sdf.meterLink().counters();
    const tev::MeasurementStore& store = sdf.store();

    std::vector<std::string> ids;
    const std::vector<QByteArray> streams = buildStreams("SHOW", ids);
    const std::uint64_t expected = static_cast<std::uint64_t>(kMeters) * kMessagesPerMeter;
    std::vector<std::unique_ptr<QTcpSocket>> meters;
    for (int i = 0; i < kMeters; ++i) {
        meters.push_back(std::make_unique<QTcpSocket>());
        meters.back()->connectToHost(QHostAddress::LocalHost, sdf.meterServer().meterPort());
    }
    for (auto& m : meters) m->waitForConnected(kLimitMs);

    QElapsedTimer wall;
    std::int64_t cpuStart = 0;
    const std::uint64_t handledBefore = counters.handled;
    const int paintsBefore = sdf.paintCount();
    for (auto _ : state) {
        wall.start();
        cpuStart = cpuMicroseconds();
        for (int i = 0; i < kMeters; ++i) meters[i]->write(streams[i]);
        while (counters.handled - handledBefore < expected && wall.elapsed() < kLimitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const double seconds = wall.nsecsElapsed() / 1e9;
    const std::int64_t cpuUs = cpuMicroseconds() - cpuStart;
    const std::uint64_t handled = counters.handled - handledBefore;
    const int paints = sdf.paintCount() - paintsBefore;

    // Each meter's row must hold its own last sequence number (word 24) under its own ID.
    int wrongRows = 0;
    for (int r = 0; r < store.registry.MeterCount; ++r) {
        const tev::MeterEntry& e = store.registry.rows[r];
        if (e.Field24 != kMessagesPerMeter - 1 || e.Id.view() != ids[r]) ++wrongRows;
    }
    const bool whole = handled == expected && store.registry.MeterCount == kMeters &&
                       wrongRows == 0 && counters.abandoned == 0;
    std::printf("\nmain window: %d meters x %d data messages over 127.0.0.1, window offscreen\n",
                kMeters, kMessagesPerMeter);
    std::printf("  handled            %llu of %llu data messages in %.3f s\n",
                static_cast<unsigned long long>(handled), static_cast<unsigned long long>(expected),
                seconds);
    std::printf("  rate               %.0f data messages/s\n", handled / seconds);
    std::printf("  process CPU        %.2f us per message (window, sockets, parser, clients)\n",
                handled ? static_cast<double>(cpuUs) / handled : 0.0);
    std::printf("  paints             %d full paints for %llu repaint requests\n", paints,
                static_cast<unsigned long long>(handled));
    std::printf("  per-meter rows     %s (%d rows wrong of %d)\n",
                whole ? "all whole, none lost or misattributed" : "MISMATCH", wrongRows,
                store.registry.MeterCount);
    state.counters["msgs_per_s"] = handled / seconds;
    state.counters["cpu_us_per_msg"] = handled ? static_cast<double>(cpuUs) / handled : 0;
    state.counters["paints"] = paints;
    state.counters["lost_or_misattributed"] = whole ? 0 : 1;
}

BENCHMARK(BM_LoopbackMetersIntoTheMainWindow)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Resident memory of this process in MB: now, and the most it has been.
struct Memory {
    double residentMb = 0;
    double peakMb = 0;
};
Memory processMemory() {
    Memory m;
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return m;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        long kb = 0;
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) m.residentMb = kb / 1024.0;
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) m.peakMb = kb / 1024.0;
    }
    std::fclose(f);
    return m;
}

constexpr int kAdcReports = 60000;
constexpr int kAdcSenders = 4;
constexpr std::size_t kAdcReportBytes = 4000;

// 240 MB of ADC reports of about 4 KB, each one a long event-log line, into the real main
// window (offscreen): the event log and its memo must stay bounded.
void BM_AdcFloodIntoTheMainWindow(benchmark::State& state) {
    ShownWindow shown;
    tev::Tsdf& sdf = shown.sdf;
    QCoreApplication::processEvents();
    const Memory before = processMemory();

    tev::sim::AdcFields fields;
    fields.adc1 = 7;
    fields.adc2 = 123456789.9;
    fields.adc3 = 99.999999;
    fields.text1 = "T1";
    fields.text2 = "T2";
    std::string report = tev::sim::buildAdcReport(tev::sim::meterId("FLOOD", 1), fields);
    report.insert(report.size() - 1, std::string(kAdcReportBytes - report.size(), 'x'));
    report += tev::sim::kCrLf;
    const int perSender = kAdcReports / kAdcSenders;
    QByteArray stream;
    stream.reserve(static_cast<qsizetype>(report.size()) * perSender);
    for (int i = 0; i < perSender; ++i) stream.append(report.data(), report.size());

    std::vector<std::unique_ptr<QTcpSocket>> senders;
    for (int i = 0; i < kAdcSenders; ++i) {
        senders.push_back(std::make_unique<QTcpSocket>());
        senders.back()->connectToHost(QHostAddress::LocalHost, sdf.meterServer().meterPort());
    }
    for (auto& s : senders) s->waitForConnected(kLimitMs);

    const tev::MeterLinkCounters& counters = sdf.meterLink().counters();
    const std::uint64_t seenBefore = counters.handled + counters.abandoned;
    const std::uint64_t expected = static_cast<std::uint64_t>(perSender) * kAdcSenders;
    QElapsedTimer wall;
    for (auto _ : state) {
        wall.start();
        for (auto& s : senders) s->write(stream);
        while (counters.handled + counters.abandoned - seenBefore < expected &&
               wall.elapsed() < 4 * kLimitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const double seconds = wall.nsecsElapsed() / 1e9;
    stream.clear();
    stream.squeeze();
    const Memory after = processMemory();
    const std::uint64_t seen = counters.handled + counters.abandoned - seenBefore;
    std::size_t logBytes = 0;
    for (const std::string& line : sdf.eventLog().lines()) logBytes += line.size();
    std::printf(
        "\nADC flood: %llu of %llu reports of %zu bytes (%.0f MB) into the main window "
        "in %.3f s\n",
        static_cast<unsigned long long>(seen), static_cast<unsigned long long>(expected),
        report.size(), static_cast<double>(report.size()) * expected / 1e6, seconds);
    std::printf("  memory             %.0f MB resident before, %.0f MB after, %.0f MB peak\n",
                before.residentMb, after.residentMb, after.peakMb);
    std::printf("  event log          %zu lines, %.1f MB of text\n", sdf.eventLog().lines().size(),
                logBytes / 1e6);
    state.counters["resident_mb"] = after.residentMb;
    state.counters["peak_mb"] = after.peakMb;
}

BENCHMARK(BM_AdcFloodIntoTheMainWindow)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
