#include "app/standard_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <climits>
#include <csignal>
#include <string>

#include "app/standard_descriptors.h"
#include "tests/app/lost_lines_note.h"
#include "tests/support/qt_application.h"

namespace tev::app {
namespace {

// A pipe standing in for standard output; the read end is non-blocking so a test can take
// what is there and go on.
struct Pipe {
    int read = -1, write = -1;
    Pipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return;
        read = ends[0];
        write = ends[1];
        ::fcntl(read, F_SETFL, ::fcntl(read, F_GETFL) | O_NONBLOCK);
        // One page: a reader that does not read is stalled after a few lines.
        ::fcntl(write, F_SETPIPE_SZ, 4096);
    }
    ~Pipe() {
        if (read >= 0) ::close(read);
        if (write >= 0) ::close(write);
    }
    void closeRead() {
        ::close(read);
        read = -1;
    }
    // Reads what the writer gives while the event loop runs, until `done` or a timeout.
    template <typename Done>
    std::string drain(Done done) {
        std::string got;
        char chunk[65536];
        for (int round = 0; round < 2000 && !done(got); ++round) {
            QCoreApplication::processEvents();
            const ssize_t n = ::read(read, chunk, sizeof chunk);
            if (n > 0)
                got.append(chunk, static_cast<std::size_t>(n));
            else
                ::usleep(1000);
        }
        return got;
    }
};

std::string numbered(int i) {
    return "261208 11:4 [HQ2 SYS ADC line " + std::to_string(i) + "] " + std::string(40, '.');
}

TEST(StandardOutput, StalledReaderNeverHoldsTheCallerAndEveryLineIsWrittenOrCounted) {
    testing::qtApplication();
    ignoreBrokenPipeSignal();
    // A broken writer would block in write() here; the alarm ends the test instead.
    ::alarm(60);
    Pipe pipe;
    ASSERT_GE(pipe.write, 0);
    constexpr int kLines = 2000;
    StandardOutput out(pipe.write, 16 * 1024);
    for (int i = 0; i < kLines; ++i) out.writeLine(numbered(i));
    EXPECT_GT(out.buffer().droppedLines(), 0u);
    // The descriptor that the program shares with its shell keeps its flags.
    EXPECT_EQ(::fcntl(pipe.write, F_GETFL) & O_NONBLOCK, 0);

    // The reader catches up: the lines before the gap, the note, and then a later line.
    std::string got = pipe.drain([&](const std::string&) { return out.buffer().empty(); });
    out.writeLine("after the gap");
    got += pipe.drain([](const std::string& g) { return g.find("after the gap\n") != g.npos; });
    ::alarm(0);

    const testing::LostLinesNote note = testing::findLostLinesNote(got);
    ASSERT_TRUE(note.found()) << got.substr(got.size() - 300);
    const int dropped = note.count;
    const std::string before = got.substr(0, note.pos + 1);
    const std::string after = got.substr(note.pos + note.length);
    EXPECT_EQ(after, "after the gap\n");
    // Whole lines in order from the first, none torn by a partial write.
    std::string expected;
    int written = 0;
    while (expected.size() < before.size()) expected += numbered(written++) + "\n";
    EXPECT_EQ(before, expected);
    EXPECT_EQ(written + dropped, kLines);
}

TEST(StandardOutput, ReaderThatGoesAwayEndsTheEchoForGoodAndNothingElse) {
    testing::qtApplication();
    ignoreBrokenPipeSignal();
    Pipe pipe;
    StandardOutput out(pipe.write, 16 * 1024);
    out.writeLine("first");
    EXPECT_EQ(pipe.drain([](const std::string& g) { return !g.empty(); }), "first\n");
    pipe.closeRead();
    out.writeLine("nobody reads this");
    EXPECT_TRUE(out.stopped());
    for (int i = 0; i < 100; ++i) out.writeLine(numbered(i));
    EXPECT_TRUE(out.buffer().empty());

    // A reader gone before the program started is the same.
    Pipe gone;
    gone.closeRead();
    StandardOutput late(gone.write);
    late.writeLine("x");
    EXPECT_TRUE(late.stopped());
}

TEST(StandardOutput, StalledJournalSocketNeverHoldsTheCallerEither) {
    testing::qtApplication();
    ::alarm(60);
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    {
        StandardOutput out(ends[0], 16 * 1024);
        for (int i = 0; i < 20000; ++i) out.writeLine(numbered(i));
        EXPECT_GT(out.buffer().droppedTotal(), 0u);
        EXPECT_FALSE(out.stopped());
        EXPECT_EQ(::fcntl(ends[0], F_GETFL) & O_NONBLOCK, 0);
    }
    ::alarm(0);
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST(StandardDescriptors, ClosedOnesAreOpenedOnDevNullSoTheNextDescriptorIsNotOne) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(0);
        ::close(1);
        ::close(2);
        if (openClosedStandardDescriptors() != 3) ::_exit(10);
        for (int fd = 0; fd <= 2; ++fd) {
            char target[PATH_MAX] = {};
            const std::string link = "/proc/self/fd/" + std::to_string(fd);
            if (::readlink(link.c_str(), target, sizeof target - 1) < 0) ::_exit(20 + fd);
            if (std::string(target) != "/dev/null") ::_exit(30 + fd);
        }
        if ((::fcntl(1, F_GETFL) & O_ACCMODE) != O_WRONLY) ::_exit(40);
        const int next = ::open("/dev/zero", O_RDONLY);
        if (next <= 2) ::_exit(50);
        // Nothing to do when all three are there.
        ::_exit(openClosedStandardDescriptors() == 0 ? 0 : 60);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tev::app
