// The records file must survive the program being killed at any moment and saves that cannot
// complete: after each, the file on disk is a whole old image or a whole new one.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "core/persistence/atomic_file.h"
#include "core/persistence/records_image.h"

namespace tev {
namespace {

namespace fs = std::filesystem;

// The generation number sits in the first and the last cell of the image, so a torn file shows
// as two different numbers (or a wrong size).
void markStore(MeasurementStore& store, std::uint32_t generation) {
    store.table(TimeScale::Min).raw(0, 0) = generation;
    ScaleTable& month = store.table(TimeScale::Month);
    month.raw(month.columns() - 1, month.geometry().fileRows - 1) = generation;
}

std::uint32_t cell(const std::vector<std::uint8_t>& b, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// The generation of a whole image, or -1 for a torn or missing one.
std::int64_t generationOf(const std::string& path) {
    std::string error;
    bool missing = false;
    const auto bytes = readWholeFile(path, error, missing);
    if (!error.empty() || bytes.size() != kRecordsFileSize) return -1;
    const std::uint32_t first = cell(bytes, 4);
    const std::uint32_t last = cell(bytes, kRecordsFileSize - 4);
    return first == last ? first : -1;
}

class CrashSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tev-crash-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "TEV3P_Records.dat").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    fs::path dir;
    std::string path;
};

TEST_F(CrashSafety, KillingASavingProcessAtRandomMomentsNeverLeavesATornFile) {
    {
        auto store = std::make_unique<MeasurementStore>();
        markStore(*store, 1);
        ASSERT_TRUE(writeRecordsFile(path, *store).ok);
    }
    std::mt19937 random(20240802);
    std::uniform_int_distribution<int> delayUs(0, 8000);
    std::int64_t newest = 1;
    for (int kill = 0; kill < 200; ++kill) {
        const std::uint32_t base = static_cast<std::uint32_t>(1000 * (kill + 1));
        // The child reports each finished save through the pipe, so that the kill lands while
        // a later save is under way, however slow the machine is.
        int saved[2];
        ASSERT_EQ(::pipe2(saved, O_NONBLOCK), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(saved[0]);
            auto store = std::make_unique<MeasurementStore>();
            for (std::uint32_t g = base;; ++g) {
                markStore(*store, g);
                writeRecordsFile(path, *store);
                const char done = 1;
                [[maybe_unused]] const ssize_t n = ::write(saved[1], &done, 1);
            }
        }
        ::close(saved[1]);
        pollfd firstSave{saved[0], POLLIN, 0};
        ASSERT_EQ(::poll(&firstSave, 1, 30000), 1) << "no save finished within 30 s";
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(saved[0]);
        const std::int64_t generation = generationOf(path);
        ASSERT_NE(generation, -1) << "torn records file after kill " << kill;
        // One of this child's whole images: at least its first save had landed.
        ASSERT_GE(generation, base) << "after kill " << kill;
        ASSERT_GE(generation, newest);
        newest = generation;
    }
}

// Runs `body` in a child process and returns its exit status.
template <typename F>
int inChild(F&& body) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::string error;
    bool missing = false;
    return readWholeFile(path, error, missing);
}

TEST_F(CrashSafety, SaveOverAFileSizeLimitReportsFailureAndKeepsTheOldFile) {
    auto store = std::make_unique<MeasurementStore>();
    markStore(*store, 7);
    ASSERT_TRUE(writeRecordsFile(path, *store).ok);
    const auto before = bytesOf(path);

    const int status = inChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1 << 20, 1 << 20};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        markStore(*store, 8);
        const RecordsFileResult result = writeRecordsFile(path, *store);
        return !result.ok && !result.error.empty() ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << "the save past the limit was not reported as failed";
    EXPECT_EQ(bytesOf(path), before);
    // No temporary file of any name stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(CrashSafety, SaveIntoAReadOnlyFolderReportsFailureAndKeepsTheOldFile) {
    auto store = std::make_unique<MeasurementStore>();
    markStore(*store, 7);
    ASSERT_TRUE(writeRecordsFile(path, *store).ok);
    const auto before = bytesOf(path);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);

    const int status = inChild([&] {
        // Root writes anywhere: save as an ordinary user, as the program normally runs.
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (nobody == nullptr || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
                return 3;
        }
        markStore(*store, 8);
        const RecordsFileResult result = writeRecordsFile(path, *store);
        return !result.ok && !result.error.empty() ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << "the save into a read-only folder was not reported as failed";
    EXPECT_EQ(bytesOf(path), before);
}

}  // namespace
}  // namespace tev
