// Files set aside before a save can replace them, and the atomic writes the saves use.

#include "core/persistence/kept_aside.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/persistence/atomic_file.h"

namespace tev {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::string error;
    bool missing = false;
    return readWholeFile(path, error, missing);
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> pattern(std::size_t n) {
    std::vector<std::uint8_t> b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return b;
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

// Root reads and writes anything: the program normally runs as an ordinary user.
bool becomeOrdinaryUser() {
    if (::geteuid() != 0) return true;
    const passwd* nobody = ::getpwnam("nobody");
    return nobody != nullptr && ::setgid(nobody->pw_gid) == 0 && ::setuid(nobody->pw_uid) == 0;
}

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class KeptAsideTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tev-kept-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        // The folder belongs to the user the children become, as a user's own folder does.
        if (const passwd* nobody = ::getpwnam("nobody"); nobody && ::geteuid() == 0) {
            ASSERT_EQ(::chown(dir.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        }
        path = (dir / "TEV3P_Environ.dat").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
    std::string path;
};

TEST_F(KeptAsideTest, CopiesTakeTheNextFreeDamagedNameAndNeverReplaceOne) {
    writeBytes(path, pattern(100));
    writeBytes(path + ".damaged", {1, 2, 3});
    const KeptAside first = keepFileAside(path, 0);
    EXPECT_EQ(first.keptAs, path + ".damaged-2");
    EXPECT_FALSE(first.moved);
    const KeptAside second = keepFileAside(path, 0);
    EXPECT_EQ(second.keptAs, path + ".damaged-3");
    EXPECT_EQ(bytesOf(path + ".damaged"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(bytesOf(path + ".damaged-2"), pattern(100));
    EXPECT_EQ(bytesOf(path + ".damaged-3"), pattern(100));
    EXPECT_EQ(bytesOf(path), pattern(100));
    // Nothing else: no temporary file stays behind.
    EXPECT_EQ(namesIn(dir).size(), 4u);
}

TEST_F(KeptAsideTest, AnUnreadableFileIsMovedAsideByAnOrdinaryUser) {
    writeBytes(path, pattern(192));
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    const int status = inChild([&] {
        if (!becomeOrdinaryUser()) return 3;
        const KeptAside kept = keepFileAside(path);
        if (!kept.moved || kept.keptAs != path + ".damaged") return 1;
        // The copy's own reason is kept for the log line.
        return kept.copyError.find("Permission denied") != std::string::npos ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(fs::exists(path));
    ::chmod((path + ".damaged").c_str(), 0600);
    EXPECT_EQ(bytesOf(path + ".damaged"), pattern(192));
}

TEST_F(KeptAsideTest, ACopyPastTheFileSizeLimitLeavesNoPartialFileAndGivesTheSystemsReason) {
    writeBytes(path, pattern(300000));
    const std::string target = (dir / "copy").string();
    const int status = inChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100000, 100000};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        const std::string error = copyFileAside(path, target, 0);
        return error.find("File too large") != std::string::npos ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"TEV3P_Environ.dat"}));
}

TEST_F(KeptAsideTest, ACopyThatWouldTakeTheRoomOfTheSavesIsRefusedBeforeWriting) {
    writeBytes(path, pattern(1000));
    // More room than any test machine has free.
    const std::string error = copyFileAside(path, (dir / "copy").string(), 1ull << 62);
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"TEV3P_Environ.dat"}));
    // Keeping it aside then moves the file, which takes no room.
    const KeptAside kept = keepFileAside(path, 1ull << 62);
    EXPECT_TRUE(kept.moved);
    EXPECT_EQ(bytesOf(path + ".damaged"), pattern(1000));
}

TEST_F(KeptAsideTest, AtomicWritesKeepTheModeAndWriteThroughASymbolicLink) {
    const std::string real = (dir / "real.csv").string();
    writeBytes(real, {9});
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    const std::string link = (dir / "link.csv").string();
    fs::create_symlink("real.csv", link);
    // A file of the old fixed temporary name is the user's and stays as it was.
    writeBytes(link + ".tmp", {7, 7});
    writeBytes(real + ".tmp", {8, 8});

    const std::vector<std::uint8_t> bytes = pattern(50);
    EXPECT_EQ(writeFileAtomically(link, bytes), "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), "real.csv");
    EXPECT_EQ(bytesOf(real), bytes);
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(bytesOf(link + ".tmp"), (std::vector<std::uint8_t>{7, 7}));
    EXPECT_EQ(bytesOf(real + ".tmp"), (std::vector<std::uint8_t>{8, 8}));
    EXPECT_EQ(namesIn(dir).size(), 4u);

    // A relative link named without a folder resolves beside it.
    const fs::path here = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(resolvedWriteTarget("link.csv"), "real.csv");
    fs::current_path(here);

    // A link to a file not made yet gets it made where it points.
    fs::create_symlink("later.csv", dir / "dangling.csv");
    EXPECT_EQ(writeFileAtomically((dir / "dangling.csv").string(), bytes), "");
    EXPECT_EQ(bytesOf((dir / "later.csv").string()), bytes);
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.csv"));
}

TEST_F(KeptAsideTest, ANamedPipeIsNeitherWaitedOnNorCopiedButMovedAside) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const int status = inChild([&] {
        ::alarm(5);
        std::string error;
        bool missing = false;
        const auto bytes = readWholeFile(path, error, missing);
        if (error != "cannot read: not a regular file" || missing || !bytes.empty()) return 1;
        const KeptAside kept = keepFileAside(path, 0);
        return kept.moved && kept.copyError == "not a regular file" ? 0 : 2;
    });
    EXPECT_EQ(status, 0) << "100 + 14: the read waited on the pipe";
    EXPECT_TRUE(fs::is_fifo(path + ".damaged"));
}

TEST_F(KeptAsideTest, ANewFileGetsTheModeTheUmaskAllows) {
    const mode_t old = ::umask(027);
    EXPECT_EQ(writeFileAtomically(path, pattern(10)), "");
    ::umask(old);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace tev
