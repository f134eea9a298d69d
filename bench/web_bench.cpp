// The web answers' cost: a series of 8000 rows (goal under 2 ms), /metrics with 200 meters
// (goal under 1 ms), and the live push to 50 WebSocket clients while 200 meters each send once
// a second (goal: under 5 % of one core more than without them). Then the server under abuse,
// with clients on threads of their own speaking plain sockets over loopback:
//  - the GUI thread's CPU time per request for /api/v1/live, a series of 8000 rows and a tidy
//    CSV of 8000 rows (the last two are built on a reader thread from a copy of the table);
//  - the worst gap between two meter messages handled (one every 5 ms over a real meter
//    socket) while 200 pipelined heavy requests are answered (goal: under 20 ms);
//  - the growth of the process's RSS while a WebSocket client floods pings and another
//    pipelines 200 tidy CSVs, neither reading (goal: under 32 MB). 5 s by default;
//    `web_bench --flood-seconds 60` floods for a minute.
//  - the RSS before, at the peak of and after a flood of 1,000 mixed connections from 50
//    loopback addresses (idle ones, live feeds, series and tidy CSVs read slowly), once they
//    have gone and the server has settled (goal: back within 20 MB of the start). 60 s of
//    settling by default; `--settle-seconds 10` for a quick run.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebSocket>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "meterport/meter_server.h"
#include "platform/qt/system_clock.h"
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
    tev::web::WebSettings settings;
    settings.address = QHostAddress::LocalHost;
    settings.maxWebSockets = 100;
    // The clients all come from 127.0.0.1.
    settings.webSocketsPerAddress = 100;
    const tev::SystemClock clock;
    tev::web::WebSources sources;
    sources.store = store.get();
    tev::web::WebServer server(settings, sources, clock);
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

// --- The server under abuse -------------------------------------------------------------------

int floodSeconds = 5;
int settleSeconds = 60;

// A blocking client socket to 127.0.0.1:port, or -1.
int dial(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return false;
        at += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads one answer with a Content-Length from `fd`, keeping what follows it in `rest`.
bool readAnswer(int fd, std::string& rest) {
    char buffer[65536];
    auto more = [&] {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        rest.append(buffer, static_cast<std::size_t>(n));
        return true;
    };
    std::size_t end;
    while ((end = rest.find("\r\n\r\n")) == std::string::npos)
        if (!more()) return false;
    const std::size_t at = rest.find("Content-Length: ");
    if (at == std::string::npos || at > end) return false;
    const std::size_t length = std::stoul(rest.substr(at + 16));
    while (rest.size() < end + 4 + length)
        if (!more()) return false;
    rest.erase(0, end + 4 + length);
    return true;
}

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

long rssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// Runs the event loop, sleeping between events, until `done` (set by a client thread) or
// `limitMs`: a loop that polled would count its own polling as the GUI thread's time.
void runUntil(const std::atomic<bool>& done, int limitMs) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done) loop.quit();
    });
    check.start(20);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
}

struct AbuseWorld {
    std::unique_ptr<tev::MeasurementStore> store = filledStore();
    tev::SystemClock clock;
    std::unique_ptr<tev::web::WebServer> server;
    explicit AbuseWorld(int maxConnections = 256) {
        tev::testing::qtApplication();
        tev::web::WebSettings settings;
        settings.address = QHostAddress::LocalHost;
        settings.maxConnections = maxConnections;
        settings.requestsPerSecond = 100000;
        settings.requestBurst = 100000;
        tev::web::WebSources sources;
        sources.store = store.get();
        server = std::make_unique<tev::web::WebServer>(settings, sources, clock);
        server->start([](const std::string&) {});
    }
    std::string get(const std::string& target) const {
        return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server->port()) +
               "\r\n\r\n";
    }
};

const char* const kSeries = "/api/v1/series?scale=min&quantities=V1,V2,V3,A1,A2,A3,Watt,KWh";
const char* const kTidy = "/api/v1/records.csv?scale=min&format=tidy";

void GuiThreadTimePerRequest(benchmark::State& state) {
    AbuseWorld world;
    for (auto _ : state) {
        for (const auto& [name, target] :
             {std::pair{"live_ms", "/api/v1/live"}, std::pair{"series_8000_ms", kSeries},
              std::pair{"tidy_csv_8000_ms", kTidy}}) {
            constexpr int kRequests = 100;
            std::atomic<bool> done{false};
            const std::string request = world.get(target);
            const quint16 port = world.server->port();
            std::thread client([&] {
                const int fd = dial(port);
                std::string rest;
                for (int i = 0; i < kRequests && fd >= 0; ++i)
                    if (!sendAll(fd, request) || !readAnswer(fd, rest)) break;
                if (fd >= 0) ::close(fd);
                done = true;
            });
            const double cpu0 = threadCpuMs();
            runUntil(done, 60000);
            const double cpu = threadCpuMs() - cpu0;
            client.join();
            state.counters[name] = cpu / kRequests;
        }
    }
}
BENCHMARK(GuiThreadTimePerRequest)->Iterations(1)->Unit(benchmark::kMillisecond);

void MeterGapDuringAPipelinedBurst(benchmark::State& state) {
    AbuseWorld world;
    tev::MeterServerSettings meterSettings;
    meterSettings.address = QHostAddress::LocalHost;
    meterSettings.meterPort = 0;
    meterSettings.secondPort = 0;
    tev::MeterServer meters(meterSettings, world.clock);
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1;
    qint64 worst = 0;
    int handled = 0;
    meters.setMessageHandler([&](std::string_view) {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0) worst = std::max(worst, now - last);
        last = now;
        ++handled;
        world.server->meterMessageHandled(world.store->registry, "HOQ100000000");
        return std::string();
    });
    meters.start();
    for (auto _ : state) {
        std::atomic<bool> burstDone{false};
        std::atomic<bool> stop{false};
        const quint16 meterPort = meters.meterPort();
        std::thread meter([&] {
            const int fd = dial(meterPort);
            while (!stop && fd >= 0) {
                sendAll(fd, "HOQ100000000 hello\r\n");
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (fd >= 0) ::close(fd);
        });
        std::string burst;
        for (int i = 0; i < 200; ++i) burst += world.get(i % 2 ? kSeries : kTidy);
        const quint16 port = world.server->port();
        std::thread client([&] {
            const int fd = dial(port);
            std::string rest;
            if (fd >= 0 && sendAll(fd, burst))
                for (int i = 0; i < 200; ++i)
                    if (!readAnswer(fd, rest)) break;
            if (fd >= 0) ::close(fd);
            burstDone = true;
        });
        // The meter's messages start flowing before the burst is measured.
        std::atomic<bool> never{false};
        runUntil(never, 200);
        worst = 0;
        QElapsedTimer took;
        took.start();
        runUntil(burstDone, 120000);
        const double seconds = static_cast<double>(took.elapsed()) / 1000.0;
        stop = true;
        client.join();
        meter.join();
        state.counters["worst_gap_ms"] = static_cast<double>(worst) / 1e6;
        state.counters["burst_seconds"] = seconds;
        state.counters["meter_messages"] = handled;
    }
}
BENCHMARK(MeterGapDuringAPipelinedBurst)->Iterations(1)->Unit(benchmark::kSecond);

void RssUnderANeverReadingFlood(benchmark::State& state) {
    AbuseWorld world;
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::atomic<long long> pingBytes{0};
        const quint16 port = world.server->port();
        const std::string upgrade =
            "GET /api/v1/ws HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
            "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
        std::string pings;
        while (pings.size() < 64 * 1024) {
            pings += std::string("\x89\xFD\x01\x02\x03\x04", 6);  // masked, 125 bytes
            pings += std::string(125, 'p');
        }
        std::string burst;
        for (int i = 0; i < 200; ++i) burst += world.get(kTidy);
        std::thread flood([&] {
            const int fd = dial(port);
            if (fd < 0 || !sendAll(fd, upgrade)) return;
            while (!stop) {
                const ssize_t n =
                    ::send(fd, pings.data(), pings.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0)
                    pingBytes += n;
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ::close(fd);
        });
        std::thread exports([&] {
            const int fd = dial(port);
            if (fd < 0) return;
            std::size_t at = 0;
            while (!stop && at < burst.size()) {
                const ssize_t n =
                    ::send(fd, burst.data() + at, burst.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0)
                    at += static_cast<std::size_t>(n);
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ::close(fd);
        });
        const long before = rssKb();
        long peak = before;
        std::int64_t queued = 0;
        QTimer sample;
        QObject::connect(&sample, &QTimer::timeout, [&] {
            peak = std::max(peak, rssKb());
            queued = std::max(queued, world.server->queuedBytes());
        });
        sample.start(50);
        std::atomic<bool> never{false};
        runUntil(never, floodSeconds * 1000);
        sample.stop();
        stop = true;
        flood.join();
        exports.join();
        state.counters["flood_seconds"] = floodSeconds;
        state.counters["rss_growth_mb"] = static_cast<double>(peak - before) / 1024.0;
        state.counters["most_queued_kb"] = static_cast<double>(queued) / 1024.0;
        state.counters["ping_mb_taken"] = static_cast<double>(pingBytes.load()) / 1048576.0;
    }
}
BENCHMARK(RssUnderANeverReadingFlood)->Iterations(1)->Unit(benchmark::kSecond);

// A blocking client socket from 127.0.0.`from` to 127.0.0.1:port, or -1.
int dialFrom(int from, quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK + static_cast<std::uint32_t>(from - 1));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void RssAfterAThousandConnectionFlood(benchmark::State& state) {
    // Each connection is two descriptors in this process.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    AbuseWorld world(1100);
    for (auto _ : state) {
        const quint16 port = world.server->port();
        const std::string upgrade =
            "GET /api/v1/ws HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
            "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
        const std::string kinds[] = {std::string(), upgrade, world.get(kSeries), world.get(kTidy)};
        std::atomic<bool> stop{false};
        std::atomic<int> open{0};
        // Four threads of 250 connections each: idle, a live feed, a series, a tidy CSV in turn,
        // each read 4 kB at a time every 100 ms.
        std::vector<std::thread> clients;
        for (int t = 0; t < 4; ++t) {
            clients.emplace_back([&, t] {
                std::vector<int> fds;
                for (int i = 0; i < 250 && !stop; ++i) {
                    const int fd = dialFrom(2 + (t * 250 + i) % 50, port);
                    if (fd < 0) continue;
                    const std::string& ask = kinds[i % 4];
                    if (!ask.empty()) sendAll(fd, ask);
                    fds.push_back(fd);
                    ++open;
                }
                char buffer[4096];
                while (!stop) {
                    for (const int fd : fds) ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
                for (const int fd : fds) ::close(fd);
            });
        }
        const long before = rssKb();
        long peak = before;
        int most = 0;
        QTimer sample;
        QObject::connect(&sample, &QTimer::timeout, [&] {
            peak = std::max(peak, rssKb());
            most = std::max(most, world.server->connectionCount());
        });
        sample.start(100);
        std::atomic<bool> never{false};
        runUntil(never, floodSeconds * 1000);
        stop = true;
        for (std::thread& c : clients) c.join();
        runUntil(never, settleSeconds * 1000);
        sample.stop();
        const long after = rssKb();
        std::printf(
            "RSS before %.1f MB, at the peak of %d connections %.1f MB, %d s after %.1f MB\n",
            static_cast<double>(before) / 1024.0, most, static_cast<double>(peak) / 1024.0,
            settleSeconds, static_cast<double>(after) / 1024.0);
        state.counters["connections_opened"] = open.load();
        state.counters["rss_before_mb"] = static_cast<double>(before) / 1024.0;
        state.counters["rss_peak_mb"] = static_cast<double>(peak) / 1024.0;
        state.counters["rss_after_mb"] = static_cast<double>(after) / 1024.0;
        state.counters["settle_seconds"] = settleSeconds;
    }
}
BENCHMARK(RssAfterAThousandConnectionFlood)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    // --flood-seconds N: how long the floods last (5 s unless told); --settle-seconds N: how
    // long the server settles after the 1,000-connection flood before its RSS is read (60 s).
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--flood-seconds") == 0 && i + 1 < argc)
            floodSeconds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--settle-seconds") == 0 && i + 1 < argc)
            settleSeconds = std::max(1, std::atoi(argv[++i]));
        else
            rest.push_back(argv[i]);
    }
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    if (benchmark::ReportUnrecognizedArguments(n, rest.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
