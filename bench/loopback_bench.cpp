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

#include "core/meterlink/meter_link.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_tone_sink.h"
#include "tools/hoq-sim/meter_messages.h"
#include "tools/hoq-sim/meter_model.h"
#include "window/mainwindow/meter_server.h"
#include "window/mainwindow/tsdf.h"

namespace {

constexpr int kMeters = 200;
constexpr int kMessagesPerMeter = 1000;
constexpr int kStartDate = 240802;
constexpr double kStartSecond = 12 * 3600;
constexpr double kMeterSecondsPerMessage = 1.0;
// The run gives up after this long, whatever has arrived.
constexpr qint64 kLimitMs = 30000;

std::int64_t cpuMicroseconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000LL + u.ru_utime.tv_usec +
           u.ru_stime.tv_usec;
}

// The ID of a data message (characters 10-21), or empty for any other message.
std::string dataMessageId(std::string_view m) {
    if (m.size() < 24 || m.substr(0, 7) != "HOQ-260" || m.substr(22, 2) != "IP") return {};
    return std::string(m.substr(9, tev::sim::kIdLength));
}

// One stream of data messages per meter, each message ended by CR LF; `ids` gets the IDs.
std::vector<QByteArray> buildStreams(std::string_view idPrefix, std::vector<std::string>& ids) {
    std::vector<QByteArray> streams;
    for (int i = 0; i < kMeters; ++i) {
        ids.push_back(tev::sim::meterId(idPrefix, i + 1));
        tev::sim::MeterModel model(i, kStartDate, kStartSecond);
        std::string stream;
        for (int n = 0; n < kMessagesPerMeter; ++n) {
            stream += tev::sim::buildDataMessage(ids.back(), "192.168.1.50", model.meterDate(),
                                                 model.secs(), model.reading(n));
            stream += tev::sim::kCrLf;
            model.advance(kMeterSecondsPerMessage);
        }
        streams.emplace_back(stream.data(), static_cast<qsizetype>(stream.size()));
    }
    return streams;
}

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
    settings.phpPort = 0;
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

// The same flood into the real main window (offscreen): its own meter socket, protocol and
// coalesced repaints, shown on screen while the messages arrive.
void BM_LoopbackMetersIntoTheMainWindow(benchmark::State& state) {
    QTemporaryDir dayFiles;
    tev::testing::RecordingToneSink tones;
    tev::testing::RecordingPause pause;
    tev::testing::FakeClock clock{tev::DateTime{2024, 8, 2, 12, 0, 0, 0}};
    tev::Platform platform{&clock, &tones, &pause};
    platform.sockets = tev::MeterServerSettings{QHostAddress::LocalHost, 0, 0};
    platform.workingDirectory = dayFiles.path().toStdString();
    tev::Tsdf sdf(platform);
    sdf.show();
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
    QTemporaryDir dayFiles;
    tev::testing::RecordingToneSink tones;
    tev::testing::RecordingPause pause;
    tev::testing::FakeClock clock{tev::DateTime{2024, 8, 2, 12, 0, 0, 0}};
    tev::Platform platform{&clock, &tones, &pause};
    platform.sockets = tev::MeterServerSettings{QHostAddress::LocalHost, 0, 0};
    platform.workingDirectory = dayFiles.path().toStdString();
    tev::Tsdf sdf(platform);
    sdf.show();
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

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
