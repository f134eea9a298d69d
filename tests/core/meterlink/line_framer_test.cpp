#include "core/meterlink/line_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tev {
namespace {

using Messages = std::vector<std::string>;

const std::string kPoll = "HQ2 A1B2C3D4E5F6\r\n";
const std::string kData =
    "HOQ-260  A1B2C3D4E5F6 IP=192.168.1.20 [240802] <30000> 229.1 230.2 228.7 50.0 0.86 1.2 "
    "3.10 2.25 1.05 4.567 1.2 1.7 1.6 100.5 30.1 40.2 30.2 60.5 20.1 20.2 20.2 70 0 5 105 \r\n";
const std::string kDevice =
    "HOQ-260 PWR A1B2C3D4E5F6 [HOQ-260 3P] <Home> 1 2 3 4.0 5.0 6.0 7.0 8.0 9.0 10.0 11.0 12.0 "
    "13.0 14.0 15.0 16.0 17.0 18.0 TAG\r\n";

void append(Messages& to, Messages more) {
    for (auto& m : more) to.push_back(std::move(m));
}

TEST(LineFramer, StreamSplitAtEveryOffsetComesOutWholeAndInOrder) {
    const Messages sent = {kDevice, kData, kPoll, kData};
    std::string stream;
    for (const auto& m : sent) stream += m;
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        // The connection has already shown its line end with its first message.
        LineFramer framer;
        ASSERT_EQ(framer.onRead(kPoll, 0), (Messages{kPoll}));
        Messages got = framer.onRead(std::string_view(stream).substr(0, cut), 0);
        append(got, framer.onRead(std::string_view(stream).substr(cut), 10));
        EXPECT_EQ(got, sent) << "cut at " << cut;
        EXPECT_FALSE(framer.nextDeadline()) << "cut at " << cut;
    }
}

TEST(LineFramer, ManyMessagesJoinedInOneReadComeOutSeparately) {
    Messages sent;
    std::string stream;
    for (int i = 0; i < 300; ++i) {
        sent.push_back(i % 3 == 0 ? kPoll : kData);
        stream += sent.back();
    }
    LineFramer framer;
    EXPECT_EQ(framer.onRead(stream, 0), sent);
    EXPECT_EQ(framer.droppedBytes(), 0u);
}

TEST(LineFramer, EachLineEndStyleKeepsItsOwnBytes) {
    LineFramer lf;
    EXPECT_EQ(lf.onRead("HQ2 AAAAAAAAAAAA\nHQ2 BBBBBBBBBBBB\n", 0),
              (Messages{"HQ2 AAAAAAAAAAAA\n", "HQ2 BBBBBBBBBBBB\n"}));

    LineFramer crlf;
    EXPECT_EQ(crlf.onRead("HQ2 AAAAAAAAAAAA\r\nHQ2 BBBBBBBBBBBB\r\n", 0),
              (Messages{"HQ2 AAAAAAAAAAAA\r\n", "HQ2 BBBBBBBBBBBB\r\n"}));

    // A bare CR is known as the line end once a byte other than LF follows it; from then on a
    // CR at the end of a read is handed on at once.
    LineFramer cr;
    EXPECT_EQ(cr.onRead("HQ2 AAAAAAAAAAAA\rHQ2 BBBBBBBBBBBB\r", 0),
              (Messages{"HQ2 AAAAAAAAAAAA\r", "HQ2 BBBBBBBBBBBB\r"}));
    EXPECT_EQ(cr.onRead("HQ2 CCCCCCCCCCCC\r", 5), (Messages{"HQ2 CCCCCCCCCCCC\r"}));
    EXPECT_FALSE(cr.nextDeadline());
}

TEST(LineFramer, BareCrConnectionFramesTheSameWhereverItsReadsEnd) {
    // Once a connection is known to end its lines with a bare CR, a CR LF counts as that CR
    // and a stray LF, whether the LF comes in the same read or the next.
    const std::string stream = "HQ2 AAAAAAAAAAAA\rHQ2 BBBBBBBBBBBB\r\nHQ2 CCCCCCCCCCCC\r";
    const Messages expected{"HQ2 AAAAAAAAAAAA\r", "HQ2 BBBBBBBBBBBB\r", "HQ2 CCCCCCCCCCCC\r"};
    LineFramer whole;
    EXPECT_EQ(whole.onRead(stream, 0), expected);
    EXPECT_EQ(whole.droppedBytes(), 1u);
    // The first read reaches the first line end, as a meter's first message does.
    for (std::size_t cut = stream.find('\r') + 1; cut < stream.size(); ++cut) {
        LineFramer split;
        Messages got = split.onRead(stream.substr(0, cut), 0);
        append(got, split.onRead(stream.substr(cut), 0));
        append(got, split.flush());
        EXPECT_EQ(got, expected) << "cut at " << cut;
        EXPECT_EQ(split.droppedBytes(), 1u) << "cut at " << cut;
    }
}

TEST(LineFramer, CrLfSplitBetweenTwoReadsStaysWithItsMessage) {
    LineFramer framer;
    EXPECT_TRUE(framer.onRead("HQ2 AAAAAAAAAAAA\r", 0).empty());
    EXPECT_EQ(framer.nextDeadline(), LineFramer::kPartialWaitMs);
    EXPECT_EQ(framer.onRead("\nHQ2 BBBBBBBBBBBB\r\n", 20),
              (Messages{"HQ2 AAAAAAAAAAAA\r\n", "HQ2 BBBBBBBBBBBB\r\n"}));
    EXPECT_FALSE(framer.nextDeadline());

    // A CR whose LF never comes is handed on with the CR alone when the wait ends.
    EXPECT_TRUE(framer.onRead("HQ2 CCCCCCCCCCCC\r", 100).empty());
    EXPECT_TRUE(framer.onTimeout(299).empty());
    EXPECT_EQ(framer.onTimeout(300), (Messages{"HQ2 CCCCCCCCCCCC\r"}));
}

TEST(LineFramer, ConnectionWithoutLineEndsKeepsOneReadOneMessage) {
    LineFramer framer;
    EXPECT_EQ(framer.onRead("HQ2 AAAAAAAAAAAA", 0), (Messages{"HQ2 AAAAAAAAAAAA"}));
    EXPECT_EQ(framer.onRead("HQ2 BBBBBBBBBBBBHQ2 CC", 1), (Messages{"HQ2 BBBBBBBBBBBBHQ2 CC"}));
    EXPECT_TRUE(framer.onRead("", 2).empty());
    EXPECT_FALSE(framer.inLineMode());
    EXPECT_FALSE(framer.nextDeadline());
}

TEST(LineFramer, BytesWithoutLineEndWaitUntilTheWaitEnds) {
    LineFramer framer;
    EXPECT_EQ(framer.onRead("HQ2 AAAAAAAAAAAA\r\nHQ2 BBBB", 1000),
              (Messages{"HQ2 AAAAAAAAAAAA\r\n"}));
    EXPECT_EQ(framer.nextDeadline(), 1000 + LineFramer::kPartialWaitMs);
    // More bytes of the same message do not move the deadline.
    EXPECT_TRUE(framer.onRead("BBBB", 1150).empty());
    EXPECT_TRUE(framer.onTimeout(1199).empty());
    EXPECT_EQ(framer.onTimeout(1200), (Messages{"HQ2 BBBBBBBB"}));
    EXPECT_FALSE(framer.nextDeadline());
    EXPECT_TRUE(framer.onTimeout(5000).empty());
    // The connection stays in line mode afterwards.
    EXPECT_TRUE(framer.onRead("HQ2 CCCC", 6000).empty());
    EXPECT_EQ(framer.flush(), (Messages{"HQ2 CCCC"}));
}

TEST(LineFramer, OverLongMessagesAreDroppedWholeAndCounted) {
    const std::string huge(LineFramer::kMaxMessageBytes + 1, 'x');

    LineFramer raw;
    EXPECT_TRUE(raw.onRead(huge, 0).empty());
    EXPECT_EQ(raw.droppedBytes(), huge.size());
    EXPECT_EQ(raw.droppedMessages(), 1u);
    const std::string largest(LineFramer::kMaxMessageBytes, 'y');
    EXPECT_EQ(raw.onRead(largest, 1), (Messages{largest}));

    // In line mode the over-long line is discarded up to its line end, arriving in pieces;
    // the message after it comes out intact.
    LineFramer lines;
    EXPECT_EQ(lines.onRead(kPoll, 0), (Messages{kPoll}));
    EXPECT_TRUE(lines.onRead(huge.substr(0, 3000), 1).empty());
    EXPECT_TRUE(lines.onRead(huge.substr(3000), 2).empty());
    EXPECT_EQ(lines.onRead("tail of it\r\n" + kPoll, 3), (Messages{kPoll}));
    EXPECT_EQ(lines.droppedMessages(), 1u);
    EXPECT_EQ(lines.droppedBytes(), huge.size() + std::string("tail of it\r\n").size());
    EXPECT_EQ(lines.waitingBytes(), 0u);

    // An over-long line that never ends is discarded until the wait ends, then framing resumes.
    EXPECT_TRUE(lines.onRead(huge, 10).empty());
    EXPECT_TRUE(lines.onRead("more", 11).empty());
    EXPECT_TRUE(lines.onTimeout(10 + LineFramer::kPartialWaitMs).empty());
    EXPECT_EQ(lines.onRead(kPoll, 300), (Messages{kPoll}));
    EXPECT_EQ(lines.droppedMessages(), 2u);
}

}  // namespace
}  // namespace tev
