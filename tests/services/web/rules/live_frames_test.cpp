// The WebSocket frames a client may send and the server writes, and big answers written a
// slice at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "services/web/rules/answer_body.h"
#include "services/web/rules/websocket_frames.h"
#include "webapi_fixture.h"

namespace tev::web {
namespace {

// A client frame as a browser sends it: masked with the key 1 2 3 4.
std::string clientFrame(std::uint8_t firstByte, std::string_view payload, bool masked = true) {
    std::string f(1, static_cast<char>(firstByte));
    const std::size_t n = payload.size();
    const char mask = masked ? '\x80' : '\0';
    if (n < 126) {
        f += static_cast<char>(mask | static_cast<char>(n));
    } else {
        f += static_cast<char>(mask | 126);
        f += static_cast<char>(n >> 8);
        f += static_cast<char>(n & 0xFF);
    }
    const char key[4] = {1, 2, 3, 4};
    if (masked) f.append(key, 4);
    for (std::size_t i = 0; i < n; ++i)
        f += masked ? static_cast<char>(payload[i] ^ key[i % 4]) : payload[i];
    return f;
}

TEST(LiveFrames, TheHandshakeKeyIsTheBase64OfSixteenBytes) {
    EXPECT_TRUE(validWebSocketKey("dGhlIHNhbXBsZSBub25jZQ=="));
    for (const char* bad :
         {"", "dGhlIHNhbXBsZSBub25jZQ", "dGhlIHNhbXBsZSBub25jZQ=", "dGhlIHNhbXBsZSBub25jZR==",
          "dGhlIHNhbXBsZSBub25j!Q==", "dGhlIHNhbXBsZSBub25jZQ==dGhl", "dGhlIHNhbXBsZSBub25jZQ== "})
        EXPECT_FALSE(validWebSocketKey(bad)) << bad;
    EXPECT_EQ(webSocketAcceptInput("k"), "k258EAFA5-E914-47DA-95CA-C5AB0DC85B11");
}

TEST(LiveFrames, ClientFramesAreUnmaskedOrRefusedWithTheirCloseCode) {
    const FrameParse ping = parseClientFrame(clientFrame(0x89, "hello") + "next", false);
    ASSERT_EQ(ping.state, FrameState::Complete);
    EXPECT_EQ(ping.frame.opcode, ws::kPing);
    EXPECT_EQ(ping.frame.payload, "hello");
    EXPECT_EQ(ping.consumed, 11u);
    const std::string big(300, 'x');
    const FrameParse text = parseClientFrame(clientFrame(0x81, big), false);
    ASSERT_EQ(text.state, FrameState::Complete);
    EXPECT_EQ(text.frame.payload, big);
    const std::string whole = clientFrame(0x89, "hello");
    for (std::size_t n = 0; n < whole.size(); ++n)
        EXPECT_EQ(parseClientFrame(whole.substr(0, n), false).state, FrameState::Incomplete) << n;

    const struct {
        std::string bytes;
        bool inMessage;
        std::uint16_t code;
    } refused[] = {
        {clientFrame(0x89, "hello", false), false, ws::kCloseProtocolError},  // unmasked
        {clientFrame(0xC1, "x"), false, ws::kCloseProtocolError},             // RSV1
        {clientFrame(0x83, "x"), false, ws::kCloseProtocolError},             // opcode 3
        {clientFrame(0x09, "x"), false, ws::kCloseProtocolError},             // fragmented ping
        {clientFrame(0x89, std::string(126, 'p')), false, ws::kCloseProtocolError},
        {clientFrame(0x80, "x"), false, ws::kCloseProtocolError},  // continuation of nothing
        {clientFrame(0x81, "x"), true, ws::kCloseProtocolError},   // text inside a message
        // Too long for the server, told from the header before the payload has come.
        {clientFrame(0x82, std::string(2000, 'b')).substr(0, 8), false, ws::kCloseTooBig},
        {std::string("\x82\xFF\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10), false, ws::kCloseTooBig},
    };
    for (const auto& r : refused) {
        const FrameParse p = parseClientFrame(r.bytes, r.inMessage);
        EXPECT_EQ(p.state, FrameState::Error) << r.bytes.size();
        EXPECT_EQ(p.closeCode, r.code) << r.bytes.size();
    }

    // Fragments of one message count together.
    ClientMessages messages;
    ClientFrame part{false, ws::kText, std::string(600, 'a')};
    EXPECT_EQ(messages.take(part).action, ClientMessages::Action::None);
    EXPECT_TRUE(messages.inMessage());
    EXPECT_EQ(messages.take({true, ws::kPing, "p"}).action, ClientMessages::Action::Pong);
    const auto tooBig = messages.take({true, ws::kContinuation, std::string(600, 'b')});
    EXPECT_EQ(tooBig.action, ClientMessages::Action::Error);
    EXPECT_EQ(tooBig.closeCode, ws::kCloseTooBig);
    EXPECT_EQ(messages.take({true, ws::kClose, "\x03\xE8"}).action, ClientMessages::Action::Close);
}

// A close is answered 1000 only with a code a client may send and a reason in UTF-8; a text
// message is UTF-8 as a whole, even when a character is split between its fragments.
TEST(LiveFrames, CloseCodesAndTextsAreCheckedAsTheProtocolAsks) {
    using A = ClientMessages::Action;
    auto close = [](int code, std::string_view reason = {}) {
        return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)} +
               std::string(reason);
    };
    const struct {
        std::vector<ClientFrame> frames;
        A action;
        std::uint16_t code;
    } cases[] = {
        {{{true, ws::kClose, ""}}, A::Close, ws::kCloseNormal},
        {{{true, ws::kClose, close(1001, "bye")}}, A::Close, ws::kCloseNormal},
        {{{true, ws::kClose, close(1014)}}, A::Close, ws::kCloseNormal},
        {{{true, ws::kClose, close(4999)}}, A::Close, ws::kCloseNormal},
        {{{true, ws::kClose, "\x03"}}, A::Error, ws::kCloseProtocolError},
        {{{true, ws::kClose, close(999)}}, A::Error, ws::kCloseProtocolError},
        {{{true, ws::kClose, close(1004)}}, A::Error, ws::kCloseProtocolError},
        {{{true, ws::kClose, close(1005)}}, A::Error, ws::kCloseProtocolError},
        {{{true, ws::kClose, close(1006)}}, A::Error, ws::kCloseProtocolError},
        {{{true, ws::kClose, close(1015)}}, A::Error, ws::kCloseProtocolError},
        {{{true, ws::kClose, close(2999)}}, A::Error, ws::kCloseProtocolError},
        {{{true, ws::kClose, close(5000)}}, A::Error, ws::kCloseProtocolError},
        {{{true, ws::kClose, close(1000, "\xC0\xAF")}}, A::Error, ws::kCloseBadData},
        {{{true, ws::kText, "gr\xC3\xBC\xC3\x9F"}}, A::None, 0},
        {{{false, ws::kText, "\xE2\x82"}, {true, ws::kContinuation, "\xAC"}}, A::None, 0},
        {{{true, ws::kText, "\xED\xA0\x80"}}, A::Error, ws::kCloseBadData},  // a surrogate
        {{{false, ws::kText, "ok"}, {true, ws::kContinuation, "\xE2\x82"}},
         A::Error,
         ws::kCloseBadData},
        {{{true, ws::kBinary, "\xFF"}}, A::None, 0},
    };
    for (const auto& c : cases) {
        ClientMessages messages;
        ClientMessages::Result r;
        for (const ClientFrame& f : c.frames) r = messages.take(f);
        EXPECT_EQ(r.action, c.action) << c.frames.back().payload;
        EXPECT_EQ(r.closeCode, c.code) << c.frames.back().payload;
    }
}

TEST(LiveFrames, ServerFramesCarryTheirLengthInTheShortestForm) {
    EXPECT_EQ(serverFrame(ws::kText, "hi"), std::string("\x81\x02hi"));
    EXPECT_EQ(serverFrame(ws::kPing, ""), std::string("\x89\x00", 2));
    EXPECT_EQ(serverFrame(ws::kText, std::string(125, 'a')).substr(0, 2), "\x81\x7D");
    EXPECT_EQ(serverFrame(ws::kText, std::string(126, 'a')).substr(0, 4),
              std::string("\x81\x7E\x00\x7E", 4));
    EXPECT_EQ(serverFrame(ws::kText, std::string(65536, 'a')).substr(0, 10),
              std::string("\x81\x7F\x00\x00\x00\x00\x00\x01\x00\x00", 10));
    EXPECT_EQ(closeFrame(1002), std::string("\x88\x02\x03\xEA", 4));
    EXPECT_EQ(closeCodeOf("\x03\xEA"), 1002);
    EXPECT_EQ(closeCodeOf(""), 1005);
}

TEST(LiveFrames, SlicedAnswersAreByteForByteTheWholeOnes) {
    testing::useBerlinTime();
    archive::ArchiveSeries s;
    s.meter = "HOQ\"00000001";
    s.resolution = archive::Resolution::Minute;
    s.quantities = {archive::findQuantity("V1"), archive::findQuantity("Watt")};
    s.values.resize(2);
    for (int r = 0; r < 500; ++r) {
        s.time.push_back(1796713200 + 60 * r);
        s.values[0].push_back(230 + r * 0.01);
        s.values[1].push_back(r % 7 == 0 ? std::nan("") : 1000 + r);
    }
    const archive::ExtraColumn costs{"cost_EUR", std::vector<std::string>(500, "0.1000")};
    std::ostringstream csv, json;
    archive::writeTidyCsv(s, csv, &costs);
    archive::writeSeriesJson(s, json);
    for (const std::size_t budget :
         {std::size_t{1}, std::size_t{100}, std::size_t{4096}, std::size_t{1} << 20}) {
        std::vector<std::pair<std::unique_ptr<BodyWriter>, std::string>> bodies;
        bodies.emplace_back(archiveCsvBody(s, costs), csv.str());
        bodies.emplace_back(archiveJsonBody(s), json.str());
        bodies.emplace_back(textBody(csv.str()), csv.str());
        for (auto& [body, whole] : bodies) {
            std::string out;
            std::size_t slices = 0;
            bool more = true;
            while (more && slices < 100000) {
                const std::size_t before = out.size();
                more = body->next(out, budget);
                ++slices;
                // A slice passes its budget by a few rows at most.
                EXPECT_LE(out.size() - before, budget + 1024);
            }
            EXPECT_EQ(out, whole) << budget;
            if (budget == 4096) {
                EXPECT_GE(slices, whole.size() / 4096);
            }
        }
    }
    std::string chunks;
    appendChunk(chunks, std::string(26, 'z'));
    appendChunk(chunks, "");
    EXPECT_EQ(chunks + std::string(kLastChunk), "1a\r\n" + std::string(26, 'z') + "\r\n0\r\n\r\n");
}

}  // namespace
}  // namespace tev::web
