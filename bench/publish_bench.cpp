// MQTT publishing: what it adds to one meter message on the GUI thread, and the CPU of the
// whole program with 200 meters at one message a second each, publishing on and off.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <memory>

#include "services/mqtt/mosquitto/mosquitto_client.h"
#include "services/mqtt/rules/meter_publisher.h"
#include "tests/services/mqtt/mosquitto/broker_fixture.h"
#include "tests/support/fake_mqtt_client.h"

namespace {

constexpr int kMeters = 200;

struct Registry200 {
    std::unique_ptr<tev::MeterRegistry> registry = std::make_unique<tev::MeterRegistry>();
    std::vector<std::string> ids;
    Registry200() {
        for (int i = 0; i < kMeters; ++i) {
            char id[16];
            std::snprintf(id, sizeof id, "SIM%09d", i + 1);
            tev::MeterEntry& e = registry->rows[registry->MeterCount++];
            e.Id.assign(id);
            e.IpAddr.assign("192.168.1.100");
            e.MeterDate = 261208;
            e.Secs = 3600;
            e.V1 = e.V2 = e.V3 = 230.0f;
            e.A1 = e.A2 = e.A3 = 2.0f;
            ids.push_back(id);
        }
    }
};

tev::mqtt::MqttSettings settings() {
    tev::mqtt::MqttSettings s;
    s.host = "127.0.0.1";
    return s;
}

// The call after each handled meter message: marks its meter.
void BM_PublishMarkPerMessage(benchmark::State& state) {
    Registry200 r;
    tev::testing::FakeMqttClient client;
    tev::mqtt::MeterPublisher publisher(settings(), client, [](const std::string&) {});
    std::size_t i = 0;
    for (auto _ : state) {
        publisher.meterMessage(*r.registry, r.ids[i]);
        if (++i == r.ids.size()) i = 0;
    }
}
BENCHMARK(BM_PublishMarkPerMessage);

// Everything publishing does on the GUI thread, per message, with 200 meters at one message a
// second: the mark, and the timer's share of building the JSON states and handing them over
// (the client only stores them here; the real one queues them for its own thread).
void BM_PublishAllGuiThreadWorkPerMessage(benchmark::State& state) {
    Registry200 r;
    tev::testing::FakeMqttClient client;
    client.connect();
    tev::mqtt::MeterPublisher publisher(settings(), client, [](const std::string&) {});
    publisher.start();
    std::int64_t message = 0;
    for (auto _ : state) {
        const std::size_t meter = static_cast<std::size_t>(message % kMeters);
        publisher.meterMessage(*r.registry, r.ids[meter]);
        ++message;
        // 200 messages a second: the 200 ms service timer runs every 40 messages.
        if (message % 40 == 0) {
            publisher.service(*r.registry, message * 1000 / kMeters);
            if (client.sent.size() > 4096) client.sent.clear();
        }
    }
    state.counters["states"] = static_cast<double>(publisher.counters().statesQueued);
}
BENCHMARK(BM_PublishAllGuiThreadWorkPerMessage);

// The same with the libmosquitto client connected to a local broker: the CPU column is the
// GUI thread's time alone (the client's own thread does the writing).
void BM_PublishAllGuiThreadWorkPerMessageRealBroker(benchmark::State& state) {
    tev::testing::Broker broker;
    if (!broker.start()) {
        state.SkipWithError("no mosquitto broker");
        return;
    }
    Registry200 r;
    tev::mqtt::MqttSettings s = settings();
    s.port = broker.port();
    s.clientId = "tev3p-bench";
    tev::mqtt::MosquittoClient client;
    tev::mqtt::MeterPublisher publisher(s, client, [](const std::string&) {});
    publisher.start();
    for (int i = 0; i < 100 && !publisher.connected(); ++i) {
        publisher.service(*r.registry, 0);
        QThread::msleep(50);
    }
    if (!publisher.connected()) {
        state.SkipWithError("not connected");
        return;
    }
    std::int64_t message = 0;
    for (auto _ : state) {
        const std::size_t meter = static_cast<std::size_t>(message % kMeters);
        publisher.meterMessage(*r.registry, r.ids[meter]);
        ++message;
        if (message % 40 == 0) publisher.service(*r.registry, message * 1000 / kMeters);
    }
    state.counters["states"] = static_cast<double>(publisher.counters().statesQueued);
    state.counters["handed_to_client"] = static_cast<double>(publisher.counters().published);
    publisher.stop();
}
BENCHMARK(BM_PublishAllGuiThreadWorkPerMessageRealBroker);

double cpuSeconds(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QString text = QString::fromLatin1(stat.readAll());
    // Fields after the command name in parentheses: utime and stime are fields 14 and 15.
    const QStringList f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13) return -1;
    return (f[11].toDouble() + f[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// build/tev3p --headless with 200 simulated meters at one data message a second each, publishing
// to a local broker (range 1) or not (range 0): the program's CPU time over 20 s, after 5 s of
// warming up, as a share of one core.
void BM_Program200MetersCpu(benchmark::State& state) {
    const bool publishing = state.range(0) == 1;
    constexpr int kWarmUpMs = 5000, kMeasureMs = 20000;
    for (auto _ : state) {
        tev::testing::Broker broker;
        if (publishing && !broker.start()) {
            state.SkipWithError("no mosquitto broker");
            return;
        }
        QTemporaryDir folder;
        QProcess program;
        program.setWorkingDirectory(folder.path());
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setStandardErrorFile(QProcess::nullDevice());
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        QStringList args{"--headless",          "--listen",      "127.0.0.1", "--port",
                         QString::number(port), "--second-port", "0"};
        if (publishing)
            args << "--mqtt-host"
                 << "127.0.0.1"
                 << "--mqtt-port" << QString::number(broker.port());
        program.start(TEV3P_PATH, args);
        program.waitForStarted();
        QThread::msleep(1000);
        QProcess sim;
        sim.setStandardOutputFile(QProcess::nullDevice());
        sim.start(HOQ_SIM_PATH,
                  {"--port", QString::number(port), "--meters", "200", "--rate", "1"});
        sim.waitForStarted();
        QThread::msleep(kWarmUpMs);
        // With publishing, the states that reach a subscriber show that all meters report.
        std::unique_ptr<tev::testing::Subscriber> states;
        if (publishing)
            states = std::make_unique<tev::testing::Subscriber>(
                broker.port(), std::vector<std::string>{"tev3p/+/state"});
        const double before = cpuSeconds(program.processId());
        QThread::msleep(kMeasureMs);
        const double after = cpuSeconds(program.processId());
        state.counters["cpu_percent_of_one_core"] = (after - before) / (kMeasureMs / 1000.0) * 100;
        if (states)
            state.counters["states_received_per_s"] =
                static_cast<double>(states->messages().size()) / (kMeasureMs / 1000.0);
        sim.kill();
        sim.waitForFinished();
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        program.waitForFinished(15000);
    }
}
BENCHMARK(BM_Program200MetersCpu)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
