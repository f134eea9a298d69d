// The web answers' cost: a series of 8000 rows (goal under 2 ms), /metrics with 200 meters
// (goal under 1 ms), and the live push to 50 WebSocket clients while 200 meters each send once
// a second (goal: under 5 % of one core more than without them).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebSocket>
#include <cstdio>
#include <ctime>
#include <memory>

#include "services/web/rules/api_json.h"
#include "services/web/rules/metrics_text.h"
#include "services/web/server/web_server.h"
#include "tests/support/qt_application.h"

namespace {

std::unique_ptr<tev::MeasurementStore> filledStore() {
    auto store = std::make_unique<tev::MeasurementStore>();
    tev::ScaleTable& min = store->table(tev::TimeScale::Min);
    for (int r = 0; r < 8000; ++r) {
        min.setDate(r, 261201 + r / 1440);
        min.setTime(r, r % 1440);
        for (int c = 0; c < tev::kQuantityCount; ++c)
            min.setValue(c, r, 230.0f + static_cast<float>(r % 97) * 0.1f);
    }
    min.cnt = 7999;
    for (int i = 0; i < tev::kMeterRegistryCapacity; ++i) {
        tev::MeterEntry& m = store->registry.rows[i];
        m.Id.assign("HOQ" + std::to_string(100000000 + i));
        m.V1 = 230.1f;
        m.V2 = 231.2f;
        m.V3 = 229.9f;
        m.A1 = 1.5f;
        m.A2 = 2.5f;
        m.A3 = 3.5f;
        m.Energy[0] = 12.25f;
    }
    store->registry.MeterCount = tev::kMeterRegistryCapacity;
    return store;
}

void SeriesOf8000Rows(benchmark::State& state) {
    auto store = filledStore();
    tev::web::SeriesQuery q;
    q.scale = tev::TimeScale::Min;
    q.columns = {tev::kColWatt, tev::kColV1};
    for (auto _ : state) benchmark::DoNotOptimize(tev::web::seriesJson(store->table(q.scale), q));
}
BENCHMARK(SeriesOf8000Rows)->Unit(benchmark::kMillisecond);

void MetricsWith200Meters(benchmark::State& state) {
    auto store = filledStore();
    tev::web::ServiceStatus status;
    for (int i = 0; i < tev::kMeterRegistryCapacity; ++i)
        status.lastMessage[std::string(store->registry.rows[i].Id.view())] = 1796000000;
    for (auto _ : state) benchmark::DoNotOptimize(tev::web::metricsText(*store, status));
}
BENCHMARK(MetricsWith200Meters)->Unit(benchmark::kMicrosecond);

// CPU time of the GUI thread over 200 meter messages a second for five seconds, with the given
// number of WebSocket clients; the figure is the share of one core.
double coreShare(int clients) {
    tev::testing::qtApplication();
    auto store = filledStore();
    tev::WebSettings settings;
    settings.address = QHostAddress::LocalHost;
    settings.maxWebSockets = 100;
    QElapsedTimer steady;
    steady.start();
    tev::WebSources sources;
    sources.store = store.get();
    sources.steadyMs = [&] { return steady.elapsed(); };
    sources.unixSeconds = [] { return std::int64_t{1796000000}; };
    tev::WebServer server(settings, sources);
    server.start([](const std::string&) {});
    std::vector<std::unique_ptr<QWebSocket>> sockets;
    for (int i = 0; i < clients; ++i) {
        sockets.push_back(std::make_unique<QWebSocket>());
        sockets.back()->open(
            QUrl("ws://127.0.0.1:" + QString::number(server.port()) + "/api/v1/ws"));
    }
    QElapsedTimer connecting;
    connecting.start();
    while (server.webSocketCount() < clients && connecting.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::fprintf(stderr, "%d of %d clients connected\n", server.webSocketCount(), clients);
    // 200 meters once a second: one message every 5 ms, from a timer, so that the event loop
    // sleeps between them and the CPU time is the work done.
    int sent = 0;
    QTimer meters;
    meters.setInterval(5);
    QObject::connect(&meters, &QTimer::timeout, [&] {
        server.meterMessageHandled(store->registry, store->registry.rows[sent % 200].Id.view());
        ++sent;
    });
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    const std::clock_t cpu0 = std::clock();
    meters.start();
    loop.exec();
    meters.stop();
    const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    return cpu / 5.0 * 100.0;
}

void LivePushTo50Clients(benchmark::State& state) {
    for (auto _ : state) {
        const double without = coreShare(0);
        const double with = coreShare(50);
        state.counters["core_percent_without"] = without;
        state.counters["core_percent_with_50"] = with;
        state.counters["extra_percent"] = with - without;
    }
}
// Note: the client sockets live in this process too, so the figure includes their reading.
BENCHMARK(LivePushTo50Clients)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
