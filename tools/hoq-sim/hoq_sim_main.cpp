// hoq-sim: plays one or many HOQ meters against the power monitor's meter port.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTime>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/qt/system_clock.h"
#include "services/archive/sqlite/archive_service.h"
#include "tools/hoq-sim/demo_history.h"
#include "tools/hoq-sim/meter_messages.h"
#include "tools/hoq-sim/meter_model.h"

namespace {

constexpr quint16 kDefaultPort = 9317;
constexpr int kDefaultIntervalMs = 1000;
constexpr int kDefaultPollIntervalMs = 30000;
constexpr int kMsPerSecond = 1000;
// With --rate 0 a meter writes on while fewer than this many bytes wait in its socket.
constexpr qint64 kFloodBacklogBytes = 64 * 1024;
// Host part of the address the n-th meter reports (192.168.1.x).
constexpr int kFirstHostNumber = 100;
constexpr int kHostNumbers = 150;

struct Options {
    QString host = "127.0.0.1";
    quint16 port = kDefaultPort;
    int meters = 1;
    QString idPrefix = "SIM";
    int intervalMs = kDefaultIntervalMs;  // 0: as fast as the connection takes them
    int pollIntervalMs = kDefaultPollIntervalMs;
    bool polls = true;
    int startDate = 0;
    double startSecond = 0;
    double speed = 1.0;
    int count = 0;  // data messages per meter; 0: no end
    bool lineEnd = true;
    QString model = "HOQ-260";
    QString ip;          // empty: 192.168.1.x per meter
    QString demoFolder;  // --write-demo: write a history there instead of playing meters
    int demoDays = 400;
    std::vector<tev::sim::PhaseFault> faults;  // --phase-loss and --sag, on every meter
};

int dateCode(const QDate& d) {
    return (d.year() - 2000) * 10000 + d.month() * 100 + d.day();
}

// One simulated meter on its own connection.
class SimMeter : public QObject {
  public:
    SimMeter(const Options& options, int index, std::function<void(bool ok)> finished)
        : options_(options),
          id_(tev::sim::meterId(options.idPrefix.toStdString(), index + 1)),
          ip_(options.ip.isEmpty()
                  ? "192.168.1." + std::to_string(kFirstHostNumber + index % kHostNumbers)
                  : options.ip.toStdString()),
          model_(index, options.startDate, options.startSecond),
          finished_(std::move(finished)) {
        for (const tev::sim::PhaseFault& f : options.faults) model_.addPhaseFault(f);
        connect(&socket_, &QTcpSocket::connected, this, &SimMeter::onConnected);
        connect(&socket_, &QTcpSocket::errorOccurred, this, [this] {
            std::fprintf(stderr, "hoq-sim: meter %s: %s\n", id_.c_str(),
                         qPrintable(socket_.errorString()));
            finish(false);
        });
        connect(&socket_, &QTcpSocket::disconnected, this,
                [this] { finish(sent_ >= options_.count && options_.count > 0); });
        connect(&socket_, &QTcpSocket::bytesWritten, this, [this] { maybeClose(); });
        connect(&dataTimer_, &QTimer::timeout, this, &SimMeter::sendData);
        connect(&pollTimer_, &QTimer::timeout, this, &SimMeter::sendPoll);
        socket_.connectToHost(options_.host, options_.port);
    }

  private:
    void onConnected() {
        tev::sim::DeviceInfo info;
        info.model = options_.model.toStdString();
        info.id = id_;
        info.modelText = info.model + " 3P";
        for (std::size_t i = 0; i < info.params.size(); ++i) info.params[i] = 1.0 + i;
        write(tev::sim::buildDeviceMessage(info));
        clock_.start();
        dataTimer_.start(options_.intervalMs);
        if (options_.polls) pollTimer_.start(options_.pollIntervalMs);
    }

    void sendData() {
        if (options_.intervalMs == 0 && socket_.bytesToWrite() > kFloodBacklogBytes) return;
        const qint64 elapsed = clock_.restart();
        model_.advance(static_cast<double>(elapsed) / kMsPerSecond * options_.speed);
        write(tev::sim::buildDataMessage(id_, ip_, model_.meterDate(), model_.secs(),
                                         model_.reading(sent_)));
        ++sent_;
        if (options_.count > 0 && sent_ >= options_.count) {
            dataTimer_.stop();
            pollTimer_.stop();
            closing_ = true;
            maybeClose();
        }
    }

    void sendPoll() { write(tev::sim::buildPoll(id_)); }

    void write(std::string message) {
        if (options_.lineEnd) message += tev::sim::kCrLf;
        socket_.write(message.data(), static_cast<qint64>(message.size()));
    }

    void maybeClose() {
        if (closing_ && socket_.bytesToWrite() == 0) socket_.disconnectFromHost();
    }

    void finish(bool ok) {
        if (done_) return;
        done_ = true;
        dataTimer_.stop();
        pollTimer_.stop();
        finished_(ok);
    }

    const Options& options_;
    std::string id_;
    std::string ip_;
    tev::sim::MeterModel model_;
    std::function<void(bool)> finished_;
    QTcpSocket socket_;
    QTimer dataTimer_;
    QTimer pollTimer_;
    QElapsedTimer clock_;
    int sent_ = 0;
    bool closing_ = false;
    bool done_ = false;
};

bool parseOptions(const QCoreApplication& app, Options& o) {
    QCommandLineParser p;
    p.setApplicationDescription(
        "Plays HOQ three-phase meters: each meter connects to the power monitor, sends a device "
        "message, then data messages following a daily load curve, and polls.");
    p.addHelpOption();
    const QCommandLineOption host("host", "Address to connect to (default 127.0.0.1).", "address",
                                  o.host);
    const QCommandLineOption port("port", "Meter port to connect to (default 9317).", "port",
                                  QString::number(o.port));
    const QCommandLineOption meters(
        "meters", "Number of meters, each with its own ID and connection (default 1).", "n", "1");
    const QCommandLineOption prefix(
        "id-prefix",
        "Start of the 12-character meter IDs; the rest is the meter number (default SIM).", "text",
        o.idPrefix);
    const QCommandLineOption interval(
        "interval", "Milliseconds between data messages of one meter (default 1000).", "ms",
        QString::number(o.intervalMs));
    const QCommandLineOption rate(
        "rate",
        "Data messages per second of one meter; overrides --interval. 0 sends as fast as the "
        "connection takes them.",
        "per-second");
    const QCommandLineOption poll("poll-interval", "Milliseconds between polls (default 30000).",
                                  "ms", QString::number(o.pollIntervalMs));
    const QCommandLineOption noPolls("no-polls",
                                     "Send no polls (the monitor then declares the "
                                     "meter off-line after 105 s).");
    const QCommandLineOption startTime(
        "start-time",
        "The meters' time of day at start, HH:MM or HH:MM:SS (default now); "
        "23:56 crosses the day-file time and midnight soon.",
        "time");
    const QCommandLineOption startDate("start-date",
                                       "The meters' date at start, YYYY-MM-DD "
                                       "(default today).",
                                       "date");
    const QCommandLineOption speed(
        "speed", "How many times faster than real time the meters' clocks run (default 1).",
        "factor", "1");
    const QCommandLineOption count(
        "count",
        "Data messages each meter sends before it disconnects; the program then ends "
        "(default 0: no end).",
        "n", "0");
    const QCommandLineOption noLineEnd("no-line-end",
                                       "End messages with nothing instead of CR LF.");
    const QCommandLineOption model("model",
                                   "Model in the device message: HOQ-260 (default) or "
                                   "HOQ-250.",
                                   "name", o.model);
    const QCommandLineOption ip("ip", "IP text the meters report (default 192.168.1.100 and up).",
                                "address");
    const QCommandLineOption writeDemo(
        "write-demo",
        "Write a demo history into a folder and end: the records and settings files of the "
        "power monitor, with --days days of one simulated meter ending now.",
        "folder");
    const QCommandLineOption days("days", "Days of demo history (default 400).", "n", "400");
    const QCommandLineOption phaseLoss(
        "phase-loss",
        "Drop a phase (voltage and current 0): <phase>[,<after s>[,<for s>]] in meter seconds "
        "after the start; without a length until the end. May be given more than once.",
        "fault");
    const QCommandLineOption sag(
        "sag",
        "Let a phase's voltage sag to a percentage: <phase>,<percent>[,<after s>[,<for s>]]. "
        "May be given more than once.",
        "fault");
    p.addOptions({host, port, meters, prefix, interval, rate, poll, noPolls, startTime, startDate,
                  speed, count, noLineEnd, model, ip, writeDemo, days, phaseLoss, sag});
    p.process(app);

    bool ok = true;
    auto number = [&](const QCommandLineOption& opt, auto& into) {
        bool good = false;
        const QString text = p.value(opt);
        if constexpr (std::is_same_v<std::decay_t<decltype(into)>, double>) {
            into = text.toDouble(&good);
        } else {
            into = static_cast<std::decay_t<decltype(into)>>(text.toLongLong(&good));
        }
        if (!good || into < 0) {
            std::fprintf(stderr, "hoq-sim: --%s: not a usable number: %s\n",
                         qPrintable(opt.names().first()), qPrintable(text));
            ok = false;
        }
    };
    o.host = p.value(host);
    number(port, o.port);
    number(meters, o.meters);
    o.idPrefix = p.value(prefix);
    number(interval, o.intervalMs);
    if (p.isSet(rate)) {
        double perSecond = 0;
        number(rate, perSecond);
        o.intervalMs = perSecond > 0 ? static_cast<int>(kMsPerSecond / perSecond) : 0;
    }
    number(poll, o.pollIntervalMs);
    o.polls = !p.isSet(noPolls);
    number(speed, o.speed);
    number(count, o.count);
    o.lineEnd = !p.isSet(noLineEnd);
    o.model = p.value(model);
    o.ip = p.value(ip);
    o.demoFolder = p.value(writeDemo);
    number(days, o.demoDays);
    for (const QString& text : p.values(phaseLoss)) {
        const auto fault = tev::sim::parsePhaseLoss(text.toStdString());
        if (fault) o.faults.push_back(*fault);
        if (!fault)
            std::fprintf(stderr, "hoq-sim: --phase-loss %s: not <phase>[,<after s>[,<for s>]]\n",
                         qPrintable(text));
        ok = ok && fault.has_value();
    }
    for (const QString& text : p.values(sag)) {
        const auto fault = tev::sim::parseSag(text.toStdString());
        if (fault) o.faults.push_back(*fault);
        if (!fault)
            std::fprintf(stderr, "hoq-sim: --sag %s: not <phase>,<percent>[,<after s>[,<for s>]]\n",
                         qPrintable(text));
        ok = ok && fault.has_value();
    }

    const QDateTime now = QDateTime::currentDateTime();
    QDate date = now.date();
    if (p.isSet(startDate)) date = QDate::fromString(p.value(startDate), "yyyy-MM-dd");
    QTime time = now.time();
    if (p.isSet(startTime)) {
        time = QTime::fromString(p.value(startTime), "HH:mm:ss");
        if (!time.isValid()) time = QTime::fromString(p.value(startTime), "HH:mm");
    }
    if (!date.isValid() || !time.isValid()) {
        std::fprintf(stderr, "hoq-sim: --start-date or --start-time is not a valid date or time\n");
        ok = false;
    } else {
        o.startDate = dateCode(date);
        o.startSecond = time.msecsSinceStartOfDay() / static_cast<double>(kMsPerSecond);
    }
    if (o.meters < 1) {
        std::fprintf(stderr, "hoq-sim: --meters must be at least 1\n");
        ok = false;
    }
    return ok;
}

int writeDemo(const Options& options) {
    const QDateTime now = QDateTime::currentDateTime();
    tev::sim::DemoOptions demo;
    demo.folder = options.demoFolder.toStdString();
    demo.days = options.demoDays;
    demo.end = tev::DateTime{now.date().year(),
                             now.date().month(),
                             now.date().day(),
                             now.time().hour(),
                             now.time().minute(),
                             now.time().second(),
                             0};
    // The demo meter's history goes into the per-meter archive through the program's writer.
    tev::archive::ArchiveWriterOptions archiveOptions;
    archiveOptions.folder = demo.folder;
    archiveOptions.importDayFiles = false;  // the program takes the day file in when it starts
    archiveOptions.log = [](const std::string& line) {
        std::fprintf(stderr, "hoq-sim: %s\n", line.c_str());
    };
    const tev::SystemClock clock;
    tev::archive::ArchiveWriter archive(archiveOptions, clock);
    std::int64_t archived = 0;
    demo.dataMessageHandled = [&archive, &archived](const tev::MeterRegistry& registry,
                                                    std::string_view id, std::int64_t unixSeconds) {
        const int row = registry.find(id);
        if (row < 0) return;
        // Real time: on the day the clocks go back, both passes of the repeated hour are kept.
        archive.push(tev::archive::sampleOf(registry.rows[row], unixSeconds));
        // The demo runs far faster than the meter would: the queue is emptied in good time.
        if (++archived % 20000 == 0) archive.flush();
    };
    QElapsedTimer timer;
    timer.start();
    if (!QFileInfo::exists(QString::fromStdString(demo.folder + "/TEV3P_Records.dat"))) {
        QDir().mkpath(QString::fromStdString(demo.folder));
        archive.start();
    }
    const tev::sim::DemoResult r = tev::sim::writeDemoHistory(demo);
    archive.stop();
    if (!r.error.empty()) {
        std::fprintf(stderr, "hoq-sim: %s\n", r.error.c_str());
        return 1;
    }
    std::printf(
        "hoq-sim: %d days of demo history in %s (%lld ticks, %lld data messages, %d "
        "outages) in %.2f s\n",
        demo.days, demo.folder.c_str(), static_cast<long long>(r.ticks),
        static_cast<long long>(r.messages), r.outages, timer.elapsed() / 1000.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("hoq-sim");
    Options options;
    if (!parseOptions(app, options)) return 2;
    if (!options.demoFolder.isEmpty()) return writeDemo(options);

    int running = options.meters;
    bool allOk = true;
    std::vector<std::unique_ptr<SimMeter>> meters;
    meters.reserve(options.meters);
    for (int i = 0; i < options.meters; ++i) {
        meters.push_back(std::make_unique<SimMeter>(options, i, [&](bool ok) {
            allOk = allOk && ok;
            if (--running == 0) QCoreApplication::exit(allOk ? 0 : 1);
        }));
    }
    const int code = app.exec();
    meters.clear();
    return code;
}
