// The archive's costs: the meter link's share per message, the writer for 200 meters, a year
// of hourly rows queried, the file's size per meter-year, and a 3-year day-file import.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/qt/system_clock.h"
#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/archive_reader.h"
#include "services/archive/sqlite/archive_writer.h"
#include "tests/support/fake_clock.h"

namespace {

using namespace tev::archive;
namespace fs = std::filesystem;

std::string freshFolder() {
    char pattern[] = "/tmp/tev-archive-bench-XXXXXX";
    return mkdtemp(pattern);
}

ArchiveSample sampleOf(const char* id, std::int64_t t, float e) {
    ArchiveSample s;
    s.setId(id);
    s.unixSeconds = t;
    s.volts = {230, 231, 229};
    s.amps = {4, 5, 6};
    s.dayEnergy = e;
    return s;
}

// What the meter link's thread pays per handled message: the copy into the queue.
void BM_GuiThreadPushPerMessage(benchmark::State& state) {
    const std::string folder = freshFolder();
    ArchiveWriterOptions o;
    o.folder = folder;
    const tev::SystemClock clock;
    ArchiveWriter w(o, clock);
    w.start();
    std::int64_t t = 1'790'000'000;
    for (auto _ : state) w.push(sampleOf("BENCH0000001", ++t, 1.0f));
    w.stop();
    fs::remove_all(folder);
}
BENCHMARK(BM_GuiThreadPushPerMessage);

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
    }
    return 0;
}

// 200 meters at one message a second, simulated an hour at a time: the writer's CPU per
// second of real time is the CPU of the run divided by the hours' seconds.
void BM_Writer200MetersOneHour(benchmark::State& state) {
    for (auto _ : state) {
        const std::string folder = freshFolder();
        ArchiveWriterOptions o;
        o.folder = folder;
        o.importDayFiles = false;
        tev::testing::FakeClock clock;
        clock.setUnixSeconds(1'790'000'000);
        ArchiveWriter w(o, clock);
        w.start();
        const long rssBefore = residentKb();
        const double cpuBefore = cpuSeconds();
        char ids[200][13];
        for (int m = 0; m < 200; ++m) std::snprintf(ids[m], sizeof ids[m], "BENCH%07d", m);
        for (int second = 0; second < 3600; ++second) {
            for (int m = 0; m < 200; ++m)
                w.push(sampleOf(ids[m], 1'790'000'000 + second, 0.001f * second));
            // The writer commits every 2 s of real time; here every 2 simulated seconds.
            if (second % 2 == 1) w.flush();
        }
        w.stop();
        const double cpu = cpuSeconds() - cpuBefore;
        state.counters["cpu_percent_of_one_core_at_real_rate"] = 100.0 * cpu / 3600.0;
        state.counters["rss_growth_MB"] = (residentKb() - rssBefore) / 1024.0;
        fs::remove_all(folder);
    }
}
BENCHMARK(BM_Writer200MetersOneHour)->Iterations(1)->Unit(benchmark::kMillisecond);

// A meter's readings as they arrive: voltages to 0.1 V and currents to 0.01 A that wander
// through the day, and a day count that grows with them. Whole numbers would be stored by
// SQLite in fewer bytes than real readings ever are.
ArchiveSample realisticSample(const char* id, std::int64_t t, std::uint32_t& noise) {
    noise = noise * 1664525u + 1013904223u;  // a small linear congruential generator
    auto jitter = [&](int shift, float scale) {
        return static_cast<float>((noise >> shift) % 1000) / 1000.0f * scale;
    };
    const float hour = static_cast<float>(t % 86400) / 3600.0f;
    ArchiveSample s;
    s.setId(id);
    s.unixSeconds = t;
    s.volts = {std::round((228.0f + jitter(0, 4)) * 10) / 10,
               std::round((229.0f + jitter(3, 4)) * 10) / 10,
               std::round((227.5f + jitter(6, 4)) * 10) / 10};
    s.amps = {std::round((1.0f + hour * 0.4f + jitter(9, 3)) * 100) / 100,
              std::round((0.8f + hour * 0.3f + jitter(12, 3)) * 100) / 100,
              std::round((0.5f + hour * 0.2f + jitter(15, 3)) * 100) / 100};
    s.dayEnergy = std::round(hour * hour * 0.05f * 100) / 100;
    return s;
}

// A year of one meter at six messages a minute, with the default retention: minute rows for
// 35 days, hour and day rows for the year. Prints the file's size as the writer leaves it (no
// VACUUM: a running archive is never compacted) and times the hourly query.
void BM_MeterYear(benchmark::State& state) {
    const std::string folder = freshFolder();
    const std::int64_t start = 1'760'000'000, end = start + 365LL * 86400;
    {
        ArchiveWriterOptions o;
        o.folder = folder;
        o.importDayFiles = false;
        tev::testing::FakeClock clock;
        clock.setUnixSeconds(start);
        ArchiveWriter w(o, clock);
        w.start();
        std::uint32_t noise = 1;
        for (std::int64_t t = start; t < end; t += 10) {
            clock.setUnixSeconds(t);
            w.push(realisticSample("BENCH0000001", t, noise));
            if ((t - start) % (3600 * 24) == 0) w.flush();
        }
        clock.setUnixSeconds(end);
        w.flush();
        w.flush();
        w.stop();
    }
    {
        SqliteDb db;
        db.open(archivePath(folder), false, false);
        db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    const double mb = fs::file_size(archivePath(folder)) / 1e6;
    for (auto _ : state) {
        std::string error;
        const ArchiveSeries s = queryArchiveSeries(
            folder, {"BENCH0000001", Resolution::Hour, {"Watt", "V1"}, start, end}, error);
        benchmark::DoNotOptimize(s.time.size());
        state.counters["hour_rows"] = static_cast<double>(s.time.size());
    }
    state.counters["archive_MB_per_meter_year"] = mb;
    fs::remove_all(folder);
}
BENCHMARK(BM_MeterYear)->Unit(benchmark::kMillisecond);

// A day file of three years, imported when its meter is first heard.
void BM_ImportThreeYearDayFile(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = freshFolder();
        {
            std::ofstream f(folder + "/M10_BENCH0000001.txt", std::ios::binary);
            for (int d = 0; d < 3 * 365; ++d) {
                const int y = 23 + d / 365, doy = d % 365, m = doy / 28 % 12 + 1,
                          day = doy % 28 + 1;
                f << (y * 10000 + m * 100 + day) << ",5.00,";
                for (int s = 0; s < 144; ++s) f << 0.05 * (s + 1) << ",";
                f << "\r";
            }
        }
        ArchiveWriterOptions o;
        o.folder = folder;
        tev::testing::FakeClock clock;
        clock.setUnixSeconds(1'600'000'000);
        ArchiveWriter w(o, clock);
        w.start();
        state.ResumeTiming();
        w.push(sampleOf("BENCH0000001", 1'790'000'000, 1.0f));
        w.flush();
        state.PauseTiming();
        w.stop();
        fs::remove_all(folder);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportThreeYearDayFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
