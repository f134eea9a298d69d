// A program that records three meters into an archive at about 3000 messages a second until it
// is killed, for the crash and read-beside-a-recorder tests. Arguments: the folder, the commit
// interval in milliseconds, and optionally a progress file where it counts, per 50 ms slot
// since it began, the messages handed to the writer.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/qt/system_clock.h"
#include "services/archive/sqlite/archive_writer.h"

int main(int argc, char** argv) {
    using namespace tev::archive;
    using Steady = std::chrono::steady_clock;
    if (argc < 3) return 2;
    constexpr int kSlotMs = 50, kSlots = 4096;
    std::atomic<std::int64_t>* slots = nullptr;
    if (argc > 3) {
        const int fd = open(argv[3], O_RDWR);
        if (fd < 0) return 3;
        void* p =
            mmap(nullptr, kSlots * sizeof(std::int64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p == MAP_FAILED) return 3;
        slots = static_cast<std::atomic<std::int64_t>*>(p);
    }
    ArchiveWriterOptions o;
    o.folder = argv[1];
    o.commitMilliseconds = std::stoi(argv[2]);
    o.importDayFiles = false;
    const tev::SystemClock clock;
    ArchiveWriter w(o, clock);
    w.start();
    const auto begin = Steady::now();
    std::int64_t count = 0;
    const char* ids[] = {"CRASH0000001", "CRASH0000002", "CRASH0000003"};
    for (;;) {
        const std::int64_t now = tev::unixSecondsOf(clock);
        for (const char* id : ids) {
            ArchiveSample s;
            s.setId(id);
            s.unixSeconds = now;
            s.volts = {230, 231, 232};
            s.amps = {1, 2, 3};
            s.dayEnergy = 1.0f;
            w.push(s);
            ++count;
        }
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - begin);
        const auto slot = ms.count() / kSlotMs;
        if (slots != nullptr && slot < kSlots) slots[slot].store(count);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
