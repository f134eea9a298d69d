#include "core/texts/log_output_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace tev {
namespace {

// What a reader that takes `chunk` bytes at a time gets until the buffer is empty.
std::string readAll(LogOutputBuffer& buffer, std::size_t chunk = 7) {
    std::string got;
    while (!buffer.empty()) {
        const std::string_view p = buffer.pending().substr(0, chunk);
        got += p;
        buffer.consume(p.size());
    }
    return got;
}

TEST(LogOutputBuffer, KeepsLinesInOrderAcrossPartialWrites) {
    LogOutputBuffer buffer(64);
    EXPECT_TRUE(buffer.push("261208 11:4 Load"));
    EXPECT_TRUE(buffer.push(""));
    EXPECT_TRUE(buffer.push("用戶設定 OK !"));
    EXPECT_EQ(readAll(buffer, 3), "261208 11:4 Load\n\n用戶設定 OK !\n");
    EXPECT_EQ(buffer.droppedTotal(), 0u);
    // Written bytes are let go: the whole capacity is free again for a long run of lines.
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(buffer.push("0123456789"));
        buffer.consume(5);
        buffer.consume(6);
    }
    EXPECT_TRUE(buffer.empty());
}

TEST(LogOutputBuffer, FullBufferDropsLinesAndTellsTheirNumberOnceEverythingBeforeIsWritten) {
    // Room for exactly three lines of nine bytes and their line ends.
    LogOutputBuffer buffer(30);
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(buffer.push("line " + std::to_string(i) + "..."));
    EXPECT_FALSE(buffer.push("line 4..."));
    EXPECT_FALSE(buffer.push("x"));  // a short line that would fit must not jump the gap
    EXPECT_EQ(buffer.droppedLines(), 2u);

    // The reader takes some: lines still wait ahead of the gap, so nothing new is queued.
    buffer.consume(20);
    EXPECT_FALSE(buffer.push("line 5..."));
    EXPECT_EQ(buffer.pending(), "line 3...\n");

    // Everything before the gap is out: the note comes first, then the lines that follow.
    buffer.consume(10);
    EXPECT_EQ(buffer.droppedLines(), 0u);
    EXPECT_TRUE(buffer.push("line 6..."));
    EXPECT_EQ(readAll(buffer),
              "… 3 log lines not written to standard output\n"
              "line 6...\n");
    EXPECT_EQ(buffer.droppedTotal(), 3u);
}

TEST(LogOutputBuffer, LineLongerThanTheWholeBufferIsCountedAndToldBeforeTheNextLine) {
    LogOutputBuffer buffer(16);
    EXPECT_FALSE(buffer.push(std::string(40, 'A')));
    EXPECT_TRUE(buffer.empty());
    EXPECT_TRUE(buffer.push("next"));
    EXPECT_EQ(readAll(buffer), "… 1 log lines not written to standard output\nnext\n");
}

TEST(LogOutputBuffer, ClosedOutputThrowsAwayWhatWaitsAndTakesNothingMore) {
    LogOutputBuffer buffer(30);
    buffer.push("line 1...");
    buffer.push("line 2...");
    buffer.push("line 3...");
    buffer.push("dropped");
    buffer.close();
    EXPECT_TRUE(buffer.closed());
    EXPECT_TRUE(buffer.empty());
    EXPECT_FALSE(buffer.push("after"));
    buffer.consume(100);
    EXPECT_TRUE(buffer.empty());  // no note for a reader that is gone
}

}  // namespace
}  // namespace tev
