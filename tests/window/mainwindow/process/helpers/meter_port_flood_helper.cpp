// A meter port in a process of its own, with its open-file limit lowered, for the flood tests.
// Usage: meter_port_flood_helper <open-file limit> [<limit the caps are derived from>]
// Prints "port <meter port> <5113 port>", then every event-log line. Reads commands on
// standard input: "stats" prints one "stats ..." line, "quit" ends.
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/meterlink/meter_link.h"
#include "meterport/meter_server.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_tone_sink.h"

namespace {

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n - 3;  // ".", ".." and the directory's own descriptor
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const long limit = std::atol(argv[1]);
    rlimit r{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    if (setrlimit(RLIMIT_NOFILE, &r) != 0) return 3;

    QCoreApplication app(argc, argv);
    QTemporaryDir dayFiles;
    auto store = std::make_unique<tev::MeasurementStore>();
    tev::testing::FakeClock clock{tev::DateTime{2024, 8, 2, 12, 0, 0, 0}};
    tev::EventLog log(clock);
    tev::testing::RecordingToneSink tones;
    tev::LanguageMode language = tev::LanguageMode::English;
    tev::MeterLink link(*store, log, tones, clock, language, dayFiles.path().toStdString());
    log.addListener([](const std::string& line) {
        std::printf("log %s\n", line.c_str());
        std::fflush(stdout);
    });

    tev::MeterServerSettings settings;
    settings.address = QHostAddress::LocalHost;
    settings.meterPort = 0;
    settings.secondPort = 0;
    settings.openFileLimit = argc > 2 ? std::atol(argv[2]) : 0;
    tev::MeterServer server(settings, clock);
    server.setMessageHandler([&](std::string_view m) { return link.handleMessage(m); });
    server.setErrorHandler([&](const std::string& e) { log.append("error " + e); });
    server.start();
    std::printf("port %d %d\n", server.meterPort(), server.secondPort());
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string command = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (command == "quit") app.quit();
            if (command == "stats") {
                std::printf(
                    "stats meters=%d second=%d pauses=%llu evicted=%llu fds=%d registered=%d\n",
                    server.meterConnectionCount(), server.secondConnectionCount(),
                    static_cast<unsigned long long>(server.acceptPauses()),
                    static_cast<unsigned long long>(server.evictedConnections()), openDescriptors(),
                    store->registry.MeterCount);
                std::fflush(stdout);
            }
        }
    });
    return app.exec();
}
