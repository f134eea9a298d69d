// Figures for the one-second roll-up and the records file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "core/persistence/records_image.h"
#include "core/store/roll_up.h"
#include "tests/support/fake_clock.h"

// Counts heap allocations so that the figures show the tick allocates nothing.
static std::atomic<long> gAllocations{0};
void* operator new(std::size_t n) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace tev {
namespace {

void primeStore(MeasurementStore& store, testing::FakeClock& clock) {
    clock.set(2024, 8, 2, 10, 0, 30);
    readDate(store.calendar, clock.now());
    store.calendar.NowMonth = 8;
    store.calendar.DataFlag = 1;
    LiveReadings& l = store.live;
    l.V1 = 229.5f, l.V2 = 230.1f, l.V3 = 231.0f;
    l.A1 = 5.1f, l.A2 = 4.2f, l.A3 = 6.3f;
    l.W1 = l.V1 * l.A1 * kPowerFactor, l.W2 = l.V2 * l.A2 * kPowerFactor;
    l.W3 = l.V3 * l.A3 * kPowerFactor;
    l.Amp = l.A1 + l.A2 + l.A3;
    l.Watt = l.W1 + l.W2 + l.W3;
    l.KWh = 12.5f;
}

// An ordinary tick: no boundary, every live row rewritten.
void BM_RollUpOrdinaryTick(benchmark::State& state) {
    auto store = std::make_unique<MeasurementStore>();
    testing::FakeClock clock;
    primeStore(*store, clock);
    rollUpAt(*store, 10, 0, 30, clock);
    const long before = gAllocations.load();
    for (auto _ : state) {
        rollUpAt(*store, 10, 0, 30, clock);
        benchmark::DoNotOptimize(store->live.TotalKWh);
    }
    state.counters["allocations"] = static_cast<double>(gAllocations.load() - before);
}
BENCHMARK(BM_RollUpOrdinaryTick);

// A tick at second 0 that fills the Min table to 8000 rows and compacts it to 7000.
void BM_RollUpCompactingTick(benchmark::State& state) {
    auto store = std::make_unique<MeasurementStore>();
    testing::FakeClock clock;
    primeStore(*store, clock);
    ScaleTable& min = store->table(TimeScale::Min);
    long allocations = 0;
    for (auto _ : state) {
        state.PauseTiming();
        min.cnt = 7999;
        const long before = gAllocations.load();
        state.ResumeTiming();
        rollUpAt(*store, 10, 1, 0, clock);
        allocations += gAllocations.load() - before;
        benchmark::DoNotOptimize(min.cnt);
    }
    state.counters["allocations"] = static_cast<double>(allocations);
    if (min.cnt != 7000) state.SkipWithError("the Min table did not compact");
}
BENCHMARK(BM_RollUpCompactingTick);

std::string benchPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string(name) + std::to_string(::getpid())))
        .string();
}

// The records file written from the column-wise store.
void BM_RecordsFileWrite(benchmark::State& state) {
    auto store = std::make_unique<MeasurementStore>();
    const std::string path = benchPath("tev_bench_records_");
    for (auto _ : state) {
        const RecordsFileResult r = writeRecordsFile(path, *store);
        if (!r.ok) state.SkipWithError(r.error.c_str());
    }
    state.SetBytesProcessed(static_cast<long>(state.iterations() * kRecordsFileSize));
    std::filesystem::remove(path);
}
BENCHMARK(BM_RecordsFileWrite)->Unit(benchmark::kMillisecond);

// The same number of bytes written from one ready buffer, the same way (temporary file,
// flush to disk, rename): the floor the records write is measured against.
void BM_PlainWriteOfTheSameBytes(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes(kRecordsFileSize, 0x5A);
    const std::string path = benchPath("tev_bench_plain_");
    for (auto _ : state) {
        const std::string temp = path + ".tmp";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            state.SkipWithError("short write");
        ::fsync(fd);
        ::close(fd);
        ::rename(temp.c_str(), path.c_str());
    }
    state.SetBytesProcessed(static_cast<long>(state.iterations() * kRecordsFileSize));
    std::filesystem::remove(path);
}
BENCHMARK(BM_PlainWriteOfTheSameBytes)->Unit(benchmark::kMillisecond);

void BM_RecordsFileRead(benchmark::State& state) {
    auto store = std::make_unique<MeasurementStore>();
    const std::string path = benchPath("tev_bench_records_read_");
    writeRecordsFile(path, *store);
    for (auto _ : state) {
        const RecordsFileResult r = readRecordsFile(path, *store);
        if (!r.ok) state.SkipWithError(r.error.c_str());
    }
    state.SetBytesProcessed(static_cast<long>(state.iterations() * kRecordsFileSize));
    std::filesystem::remove(path);
}
BENCHMARK(BM_RecordsFileRead)->Unit(benchmark::kMillisecond);

void BM_PlainReadOfTheSameBytes(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes(kRecordsFileSize, 0x5A);
    const std::string path = benchPath("tev_bench_plain_read_");
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::write(fd, bytes.data(), bytes.size()) < 0) state.SkipWithError("write failed");
        ::close(fd);
    }
    std::vector<std::uint8_t> in(kRecordsFileSize);
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (::read(fd, in.data(), in.size()) != static_cast<ssize_t>(in.size()))
            state.SkipWithError("short read");
        ::close(fd);
        benchmark::DoNotOptimize(in.data());
    }
    state.SetBytesProcessed(static_cast<long>(state.iterations() * kRecordsFileSize));
    std::filesystem::remove(path);
}
BENCHMARK(BM_PlainReadOfTheSameBytes)->Unit(benchmark::kMillisecond);

// Encoding and decoding alone, without the disk.
void BM_RecordsImageEncodeDecode(benchmark::State& state) {
    auto store = std::make_unique<MeasurementStore>();
    std::vector<std::uint8_t> bytes(kRecordsFileSize);
    for (auto _ : state) {
        encodeRecords(*store, bytes);
        decodeRecords(bytes, *store);
    }
    state.SetBytesProcessed(static_cast<long>(state.iterations() * kRecordsFileSize));
}
BENCHMARK(BM_RecordsImageEncodeDecode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tev

BENCHMARK_MAIN();
