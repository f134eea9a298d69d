#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "services/archive/sqlite/archive_export.h"
#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/sqlite_db.h"
#include "tests/services/archive/sqlite/archive_fixture.h"

namespace tev::archive {
namespace {

using Steady = std::chrono::steady_clock;

// The recording program counts, per 50 ms slot since it began, the messages it has handed to
// the writer, in a file both processes map.
constexpr int kSlotMs = 50;
constexpr int kSlots = 4096;

struct ProgressFile {
    explicit ProgressFile(const std::string& path) : path(path) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ftruncate(fd, kSlots * sizeof(std::int64_t)) != 0) return;
        void* p =
            mmap(nullptr, kSlots * sizeof(std::int64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        close(fd);
        if (p != MAP_FAILED) slots = static_cast<std::atomic<std::int64_t>*>(p);
    }
    ~ProgressFile() {
        if (slots != nullptr) munmap(slots, kSlots * sizeof(std::int64_t));
    }
    std::string path;
    std::atomic<std::int64_t>* slots = nullptr;
};

// Starts the recording program; it runs until killed.
pid_t startRecorder(const std::string& folder, int commitMs, const std::string& progressPath) {
    const pid_t child = fork();
    if (child == 0) {
        const std::string ms = std::to_string(commitMs);
        if (progressPath.empty())
            execl(ARCHIVE_RECORDER_PATH, "archive_recorder", folder.c_str(), ms.c_str(), nullptr);
        else
            execl(ARCHIVE_RECORDER_PATH, "archive_recorder", folder.c_str(), ms.c_str(),
                  progressPath.c_str(), nullptr);
        _exit(127);
    }
    return child;
}

std::int64_t storedMessages(const std::string& folder, std::string& integrity) {
    SqliteDb db;
    if (db.open(archivePath(folder), false, false) != SQLITE_OK) {
        integrity = db.error();
        return -1;
    }
    integrity = queryText(db, "PRAGMA integrity_check");
    return std::atoll(queryText(db, "SELECT coalesce(sum(n), 0) FROM minutes").c_str());
}

class ArchiveCrash : public testing::ArchiveFolder {};

TEST_F(ArchiveCrash, FiftyKillsAtRandomMomentsLeaveASoundFileMissingAtMostTheLastFiveSeconds) {
    alarm(300);  // a hang ends the test program instead of the whole run
    ProgressFile progressFile(folder + "-progress");
    ASSERT_NE(progressFile.slots, nullptr);
    std::atomic<std::int64_t>* pushedAt = progressFile.slots;
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> lifeMs(100, 2600);
    std::int64_t storedBefore = 0;
    int runsThatCommitted = 0;
    for (int run = 0; run < 50; ++run) {
        for (int s = 0; s < kSlots; ++s) pushedAt[s].store(0);
        const pid_t child = startRecorder(folder, 2000, progressFile.path);
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(lifeMs(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));

        int lastSlot = -1;
        for (int s = 0; s < kSlots; ++s)
            if (pushedAt[s].load() != 0) lastSlot = s;
        const std::int64_t pushed = lastSlot >= 0 ? pushedAt[lastSlot].load() : 0;
        const int fiveSecondsBefore = lastSlot - 5000 / kSlotMs;
        std::int64_t mustHave = 0;
        for (int s = 0; s <= fiveSecondsBefore; ++s)
            mustHave = std::max(mustHave, pushedAt[s].load());

        std::string integrity;
        const std::int64_t stored = storedMessages(folder, integrity);
        if (stored < 0 && lastSlot < 0) continue;  // killed before the file was made
        ASSERT_EQ(integrity, "ok") << "run " << run;
        const std::int64_t thisRun = stored - storedBefore;
        EXPECT_GE(thisRun, mustHave) << "run " << run;
        EXPECT_LE(thisRun, pushed) << "run " << run;  // nothing counted twice
        runsThatCommitted += thisRun > 0;
        storedBefore = stored;
    }
    EXPECT_GT(runsThatCommitted, 0);
    std::filesystem::remove(progressFile.path);
    alarm(0);
}

TEST_F(ArchiveCrash, AFullDiskIsReportedOnceWhileRecordingGoesOnAndWritingResumesAfterwards) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The file size limit stands for a full disk: writes beyond it fail with EFBIG.
        signal(SIGXFSZ, SIG_IGN);
        std::vector<std::string> lines;
        std::mutex m;
        ArchiveWriterOptions o;
        o.folder = folder;
        o.commitMilliseconds = 60'000;
        o.log = [&](const std::string& l) {
            std::lock_guard<std::mutex> lock(m);
            lines.push_back(l);
        };
        ArchiveWriter w(o, clock);
        w.start();
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{96 * 1024, limit.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        std::int64_t pushed = 0;
        const std::int64_t t0 = testing::at("2026-04-01T00:00");
        for (int minute = 0; minute < 3000; ++minute) {
            for (int i = 0; i < 3; ++i, ++pushed)
                w.push(testing::sampleAt("DISKFULL0001", t0 + minute * 60 + i, {230, 230, 230},
                                         {1, 1, 1}, 1));
            if (minute % 20 == 19) w.flush();
        }
        const std::uint64_t failed = w.failedCommits();
        setrlimit(RLIMIT_FSIZE, &limit);
        w.flush();
        w.stop();
        std::string integrity;
        const std::int64_t stored = storedMessages(folder, integrity);
        // Full again, and stopped before it could write: the loss is told with its count.
        {
            ArchiveWriter again(o, clock);
            again.start();
            const rlimit tiny{4096, limit.rlim_max};  // not one more page in any file
            setrlimit(RLIMIT_FSIZE, &tiny);
            for (int minute = 0; minute < 10; ++minute)
                again.push(testing::sampleAt("DISKFULL0001", t0 + (4000 + minute) * 60,
                                             {230, 230, 230}, {1, 1, 1}, 2));
            again.stop();
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::ofstream report(folder + "/report.txt");
        report << "failed " << failed << "\npushed " << pushed << "\nstored " << stored
               << "\nintegrity " << integrity << "\n";
        for (const auto& l : lines) report << "log " << l << "\n";
        report.close();
        _exit(report ? 0 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    std::ifstream in(folder + "/report.txt");
    std::string key, value, line;
    std::map<std::string, std::string> report;
    std::vector<std::string> logLines;
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        if (line.substr(0, space) == "log")
            logLines.push_back(line.substr(space + 1));
        else
            report[line.substr(0, space)] = line.substr(space + 1);
    }
    EXPECT_GT(std::stoll(report["failed"]), 1);  // several commits failed …
    int cannot = 0, again = 0;
    for (const auto& l : logLines) {
        cannot += l.find("cannot be written") != std::string::npos;
        again += l.find("is written again") != std::string::npos;
    }
    EXPECT_EQ(cannot, 2);  // … and were told once, then once more for the second writer
    EXPECT_EQ(again, 1);
    EXPECT_EQ(std::count(logLines.begin(), logLines.end(),
                         "Archive TEV3P_Archive.sqlite could not be written before the stop: "
                         "10 minute figures and 0 alert records are lost"),
              1);
    EXPECT_EQ(report["stored"], report["pushed"]);  // every message kept in memory got written
    EXPECT_EQ(report["integrity"], "ok");
}

TEST_F(ArchiveCrash, ExportReadsTheArchiveWhileAnotherProgramRecordsInTheFolder) {
    alarm(60);
    const pid_t child = startRecorder(folder, 200, "");
    ASSERT_GT(child, 0);
    int withRows = 0;
    const auto end = Steady::now() + std::chrono::seconds(3);
    int runs = 0;
    while (Steady::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!std::filesystem::exists(archivePath(folder))) continue;
        std::ostringstream out, err;
        ArchiveExportRequest request;
        request.folder = folder;
        request.query.meter = "CRASH0000002";
        request.query.resolution = Resolution::Minute;
        const int rc = runArchiveExport(request, out, err);
        ++runs;
        // Until the recorder's first commit names the meter, the export says it is not there.
        if (rc == 1 && err.str().find("is not in the archive") != std::string::npos) continue;
        EXPECT_EQ(rc, 0) << err.str();
        EXPECT_EQ(out.str().rfind("time,V1_V,", 0), 0u);
        const std::string text = out.str();
        withRows += std::count(text.begin(), text.end(), '\n') > 1;
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_GT(runs, 10);
    EXPECT_GT(withRows, 0);
    alarm(0);
}

}  // namespace
}  // namespace tev::archive
