// The fleet database at the scale of many sites, on a local PostgreSQL of its own (initdb and
// pg_ctl on a private folder): the time of every query of the Grafana dashboard over a day and
// two days of 200 meters, on plain tables and on tables partitioned by month; then 20
// recorders of 200 meters each catching up into one database at once: the rows a second, the
// CPU of the server and of the shippers, and the disk a meter takes a day.
// Usage: fleet_scale_bench [hours of minute rows per site, 6 when not given]
#include <sys/resource.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "platform/qt/system_clock.h"
#include "services/archive/sqlite/archive_outbox.h"
#include "services/archive/sqlite/archive_writer.h"
#include "services/fleet/postgres/fleet_database.h"
#include "services/fleet/postgres/fleet_shipper.h"
#include "tests/services/fleet/postgres/fleet_rows.h"
#include "tests/services/fleet/postgres/grafana_queries.h"
#include "tests/services/fleet/postgres/postgres_fixture.h"
#include "tests/support/fake_clock.h"

namespace {

using namespace tev;
constexpr int kMeters = 200;
constexpr int kSites = 20;
constexpr std::int64_t kDayStart = 1796688000;  // 2026-12-08 00:00 UTC
constexpr double kGoalMs = 200;

std::string meterId(int i) {
    char id[16];
    std::snprintf(id, sizeof id, "SIM%09d", i + 1);
    return id;
}

double seconds(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The fields of /proc/<pid>/stat after the command's name: [0] is the state, [1] the parent.
std::vector<std::string> procStat(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string line((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::string> fields;
    const auto close = line.rfind(')');
    if (close == std::string::npos) return fields;
    std::istringstream rest(line.substr(close + 2));
    for (std::string f; rest >> f;) fields.push_back(f);
    return fields;
}

// CPU seconds of the PostgreSQL server: the postmaster, its children that are running and
// those that ended (which the postmaster reaped).
double serverCpuSeconds(long postmaster) {
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    const auto own = procStat(postmaster);
    if (own.size() < 15) return 0;
    // utime, stime, cutime, cstime: fields 14 to 17 of the line, 11 to 14 here.
    double total = 0;
    for (int i = 11; i <= 14; ++i) total += std::atof(own[i].c_str());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const auto f = procStat(std::atol(name.c_str()));
        if (f.size() > 12 && std::atol(f[1].c_str()) == postmaster)
            total += std::atof(f[11].c_str()) + std::atof(f[12].c_str());
    }
    return total / tick;
}

long postmasterOf(fleet::PgConnection& db) {
    const fleet::PgResult r = db.exec("SELECT pg_backend_pid()");
    if (!r.ok() || r.rows() != 1) return 0;
    const auto f = procStat(std::atol(r.text(0, 0).c_str()));
    return f.size() > 1 ? std::atol(f[1].c_str()) : 0;
}

// Periods of `seconds` from `start` for every meter, with values that move.
std::vector<archive::PeriodRow> periodRows(std::int64_t start, int periods, int seconds) {
    std::vector<archive::PeriodRow> rows;
    for (int p = 0; p < periods; ++p)
        for (int i = 0; i < kMeters; ++i) {
            archive::PeriodRow& r = rows.emplace_back();
            r.meter = meterId(i);
            r.t = start + static_cast<std::int64_t>(p) * seconds;
            for (std::size_t v = 0; v < r.values.size(); ++v)
                r.values[v] = 230.0 + v + std::sin(p * 0.01 + i) * 5;
            r.values.back() = 60;  // the message count
        }
    return rows;
}

// `days` days of 200 meters of one site, from kDayStart on, with 10 alerts a meter a day.
bool fillGrafana(fleet::PgConnection& db, int days) {
    fleet::FleetDatabase fleet(db);
    std::string error;
    int found = 0;
    if (fleet.ensureSchema(found, error) != fleet::FleetDatabase::Schema::Ready ||
        !fleet.prepareSession(error)) {
        std::printf("  schema: %s\n", error.c_str());
        return false;
    }
    std::vector<archive::MeterRow> meters;
    for (int i = 0; i < kMeters; ++i) meters.push_back({meterId(i), kDayStart});
    bool ok = fleet.shipMeters("hall", meters, error);
    for (int hour = 0; ok && hour < days * 24; ++hour)
        ok = fleet.shipPeriods(archive::OutboxTable::Minutes, "hall",
                               periodRows(kDayStart + hour * 3600, 60, 60), error);
    ok = ok &&
         fleet.shipPeriods(archive::OutboxTable::Hours, "hall",
                           periodRows(kDayStart, days * 24, 3600), error) &&
         fleet.shipPeriods(archive::OutboxTable::Days, "hall", periodRows(kDayStart, days, 86400),
                           error);
    std::vector<archive::AlertRow> alerts;
    for (int d = 0; d < days * 5; ++d)
        for (int i = 0; i < kMeters; ++i)
            for (const bool start : {true, false}) {
                const std::int64_t t = kDayStart + d * 17280 + i * 60 + (start ? 0 : 300);
                alerts.push_back({static_cast<std::int64_t>(alerts.size()) + 1, t * 1000,
                                  meterId(i), "voltage", 1 + i % 3, start ? "start" : "end",
                                  start ? 253.5 : 250.1, 253});
            }
    ok = ok && fleet.shipAlerts("hall", alerts, error) && db.run("ANALYZE", error);
    if (!ok) std::printf("  filling: %s\n", error.c_str());
    return ok;
}

// Each query of the dashboard for a day and for two days: best of 3, and its rows.
void timePanels(fleet::PgConnection& db) {
    std::string meters;
    for (int i = 0; i < kMeters; ++i) meters += (i ? ",'" : "'") + meterId(i) + "'";
    struct Range {
        const char* name;
        const char* from;
        const char* to;
        int interval;  // Grafana's $__interval for the Power panel's 300 points at most
    };
    for (const Range& range :
         {Range{"one day", "2026-12-09 00:00:00+00", "2026-12-10 00:00:00+00", 300},
          Range{"two days", "2026-12-08 00:00:00+00", "2026-12-10 00:00:00+00", 600}}) {
        std::printf("  %s, 200 meters, $__interval %d s:\n", range.name, range.interval);
        for (const testing::GrafanaQuery& q : testing::grafanaQueries(
                 GRAFANA_DASHBOARD, range.from, range.to, "'hall'", meters, range.interval)) {
            double best = 1e9;
            int rows = -1;
            for (int run = 0; run < 3; ++run) {
                QElapsedTimer t;
                t.start();
                const fleet::PgResult r = db.exec(q.sql);
                best = std::min(best, static_cast<double>(t.nsecsElapsed()) / 1e6);
                rows = r.ok() ? r.rows() : -1;
                if (!r.ok()) std::printf("    %s failed: %s\n", q.name.c_str(), r.error().c_str());
            }
            std::printf("    %-28s %8.1f ms %8d rows%s\n", q.name.c_str(), best, rows,
                        best > kGoalMs ? "  (over 200 ms)" : "");
        }
    }
}

// A site's archive: 200 meters, a message a minute each for `hours` hours before kDayStart +
// 12 h, and two alerts a meter.
void writeArchive(const std::string& folder, int hours) {
    archive::ArchiveWriterOptions o;
    o.folder = folder;
    o.importDayFiles = false;
    o.queueCapacity = 1 << 20;
    const std::int64_t end = kDayStart + 12 * 3600;
    testing::FakeClock dayAfter;
    dayAfter.setUnixSeconds(end + 86400);
    archive::ArchiveWriter writer(o, dayAfter);
    writer.start();
    for (std::int64_t t = end - hours * 3600; t < end; t += 60)
        for (int i = 0; i < kMeters; ++i) {
            archive::ArchiveSample s;
            s.setId(meterId(i));
            s.unixSeconds = t + 5;
            s.volts = {230.0f + static_cast<float>(t / 60 % 7), 231.0f, 229.0f};
            s.amps = {1.0f + static_cast<float>(i % 5), 2.0f, 3.0f};
            s.dayEnergy = 0.01f * static_cast<float>((t - kDayStart) / 60);
            writer.push(s);
        }
    for (int i = 0; i < kMeters; ++i) {
        writer.pushAlert({(end - 1800) * 1000, meterId(i), "voltage", 2, true, 253.5, 253});
        writer.pushAlert({(end - 1700) * 1000, meterId(i), "voltage", 2, false, 250.1, 253});
    }
    writer.flush();
    writer.stop();
}

// 20 shippers over copies of one archive, each its own site, into one database at once.
void scaleModel(const testing::PostgresServer& server, int hours) {
    char pattern[] = "/tmp/tev-fleet-scale-XXXXXX";
    const std::string base = mkdtemp(pattern);
    QElapsedTimer writing;
    writing.start();
    std::filesystem::create_directories(base + "/site-01");
    writeArchive(base + "/site-01", hours);
    for (int s = 2; s <= kSites; ++s) {
        char name[16];
        std::snprintf(name, sizeof name, "/site-%02d", s);
        std::filesystem::copy(base + "/site-01", base + name,
                              std::filesystem::copy_options::recursive);
    }
    std::printf("\n%d sites of %d meters, %d h of minute rows each (archives written in %.1f s)\n",
                kSites, kMeters, hours, seconds(writing));

    fleet::PgConnection db;
    if (!server.connect(db, "scale")) return;
    const long postmaster = postmasterOf(db);
    const SystemClock clock;
    std::mutex logMutex;
    std::vector<std::string> lines;
    std::vector<std::unique_ptr<fleet::FleetShipper>> shippers;
    const double serverCpu = serverCpuSeconds(postmaster);
    const double ownCpu = processCpuSeconds();
    QElapsedTimer t;
    t.start();
    for (int s = 1; s <= kSites; ++s) {
        char site[16];
        std::snprintf(site, sizeof site, "site-%02d", s);
        fleet::FleetShipperOptions o;
        o.settings.url = server.url("scale");
        o.settings.site = site;
        const std::string folder = base + "/" + site;
        o.openOutbox = [folder](std::string& error) {
            return archive::openArchiveOutbox(folder, error);
        };
        o.writtenThrough = [] { return kDayStart + 3 * 86400; };
        o.log = [&](const std::string& line) {
            std::lock_guard<std::mutex> lock(logMutex);
            if (line.rfind("Fleet: shipping to", 0) != 0) lines.push_back(line);
        };
        shippers.push_back(std::make_unique<fleet::FleetShipper>(o, clock));
        shippers.back()->start();
    }
    for (auto& s : shippers)
        while (s->rounds() < 1) QThread::msleep(5);
    const double elapsed = seconds(t);
    const double serverUsed = serverCpuSeconds(postmaster) - serverCpu;
    const double shippersUsed = processCpuSeconds() - ownCpu;
    for (auto& s : shippers) s->stop();
    for (const std::string& line : lines) std::printf("  log: %s\n", line.c_str());

    const char* tables[] = {"minutes", "hours", "days", "alerts"};
    std::int64_t rows[4], total = 0;
    for (int i = 0; i < 4; ++i)
        total += rows[i] = testing::countOf(db, std::string("SELECT count(*) FROM ") + tables[i]);
    std::printf(
        "  catch-up of %lld rows (%lld minute, %lld hour, %lld day, %lld alert) by %d "
        "shippers at once: %.1f s, %.0f rows/s\n",
        static_cast<long long>(total), static_cast<long long>(rows[0]),
        static_cast<long long>(rows[1]), static_cast<long long>(rows[2]),
        static_cast<long long>(rows[3]), kSites, elapsed, total / elapsed);
    std::printf(
        "  CPU: PostgreSQL server %.1f s (%.0f %% of one core, %.1f us a row), shippers "
        "with their SQLite reads %.1f s (%.0f %% of one core, %.1f us a row)\n",
        serverUsed, 100 * serverUsed / elapsed, 1e6 * serverUsed / total, shippersUsed,
        100 * shippersUsed / elapsed, 1e6 * shippersUsed / total);
    const double meters = kSites * kMeters;
    const double steady = meters * (1.0 + 3 * 12) / 60;
    std::printf(
        "  steady load of %d x %d meters: %.0f closed minute rows a minute (%.0f rows/s); "
        "with the open minute, hour and day rows sent again every 5 s, %.0f upserts/s, "
        "about %.0f %% of one server core at the catch-up's cost a row\n",
        kSites, kMeters, meters, meters / 60, steady, 100 * steady * serverUsed / total);

    std::string error;
    db.run("VACUUM ANALYZE", error);
    std::printf(
        "  disk (heap + indexes = total bytes a row; per meter per day: 1440 minute, 24 "
        "hour, 1 day rows, 10 alerts):\n");
    const double perDay[] = {1440, 24, 1, 10};
    double dayBytes = 0;
    for (int i = 0; i < 4; ++i) {
        const std::string t = std::string("'") + tables[i] + "'";
        const double heap =
            static_cast<double>(testing::countOf(db, "SELECT pg_relation_size(" + t + ")"));
        const double index =
            static_cast<double>(testing::countOf(db, "SELECT pg_indexes_size(" + t + ")"));
        const double all =
            static_cast<double>(testing::countOf(db, "SELECT pg_total_relation_size(" + t + ")"));
        const double n = static_cast<double>(std::max<std::int64_t>(1, rows[i]));
        dayBytes += perDay[i] * all / n;
        std::printf("    %-8s %6.0f + %4.0f = %4.0f bytes a row, %7.1f kB a meter a day\n",
                    tables[i], heap / n, index / n, all / n, perDay[i] * all / n / 1000);
    }
    std::printf("    in all %.0f kB a meter a day, %.0f MB a meter a year\n", dayBytes / 1000,
                dayBytes * 365 / 1e6);
    std::filesystem::remove_all(base);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int hours = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    setenv("PGPASSWORD", testing::kPostgresPassword, 1);
    testing::PostgresServer server;
    if (!server.start()) {
        std::printf("PostgreSQL did not start:\n%s\n", server.log().c_str());
        return 1;
    }
    for (const char* db : {"grafana", "scale"}) server.createDatabase(db);

    fleet::PgConnection db;
    if (!server.connect(db, "grafana")) return 1;
    QElapsedTimer filling;
    filling.start();
    if (!fillGrafana(db, 2)) return 1;
    std::printf(
        "Grafana's queries on two days of 200 meters of one site (%lld minute rows, "
        "filled in %.1f s), best of 3:\n",
        static_cast<long long>(testing::countOf(db, "SELECT count(*) FROM minutes")),
        seconds(filling));
    timePanels(db);
    std::ifstream in(FLEET_PARTITIONS_SQL);
    const std::string script((std::istreambuf_iterator<char>(in)), {});
    std::string error;
    if (!db.run(script, error) || !db.run("ANALYZE", error)) {
        std::printf("The partitioning script failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("The same on tables partitioned by month (%s):\n", FLEET_PARTITIONS_SQL);
    timePanels(db);

    scaleModel(server, hours);
    return 0;
}
