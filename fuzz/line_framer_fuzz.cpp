// The line framer that feeds the meter protocol. The first bytes of the input choose how the
// rest, a connection's byte stream, is cut into reads. Checked:
// - after every read, bytes handed on + bytes dropped + bytes waiting = bytes received;
// - no message is longer than kMaxMessageBytes;
// - once the stream has shown a line end, reading it in pieces frames it as reading it whole
//   does: the same messages, compared without their line-end bytes (a connection with bare CR
//   line ends has a CR at the end of a read handed on at once), and the same bytes dropped.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/meterlink/line_framer.h"

namespace {

using tev::LineFramer;

void fail() {
    __builtin_trap();
}

struct Framed {
    std::vector<std::string> messages;
    std::uint64_t bytesOut = 0;
};

void take(std::vector<std::string>&& out, Framed& framed) {
    for (std::string& m : out) {
        if (m.size() > LineFramer::kMaxMessageBytes) fail();
        framed.bytesOut += m.size();
        framed.messages.push_back(std::move(m));
    }
}

void checkBalance(const LineFramer& framer, const Framed& framed, std::uint64_t bytesIn) {
    if (framed.bytesOut + framer.droppedBytes() + framer.waitingBytes() != bytesIn) fail();
}

// The messages without their line-end bytes, empty ones left out.
std::vector<std::string> bodies(const std::vector<std::string>& messages) {
    std::vector<std::string> out;
    for (const std::string& m : messages) {
        const std::size_t end = m.find_last_not_of("\r\n");
        if (end == std::string::npos) continue;
        out.push_back(m.substr(0, end + 1));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // Byte 0: a seed for the read sizes; byte 1: the largest read, in 16-byte steps.
    unsigned seed = data[0];
    const std::size_t largestRead = 1 + static_cast<std::size_t>(data[1]) * 16;
    const std::string_view stream(reinterpret_cast<const char*>(data + 2), size - 2);
    constexpr std::int64_t kNow = 1000;

    LineFramer whole;
    Framed wholeOut;
    take(whole.onRead(stream, kNow), wholeOut);
    checkBalance(whole, wholeOut, stream.size());
    take(whole.flush(), wholeOut);
    checkBalance(whole, wholeOut, stream.size());

    LineFramer pieces;
    Framed piecesOut;
    std::size_t at = 0;
    // The first read goes up to the first line end, so that both framers switch to lines at
    // the same byte.
    const std::size_t firstEnd = stream.find_first_of("\r\n");
    while (at < stream.size()) {
        seed = seed * 1103515245u + 12345u;
        std::size_t length = 1 + (seed >> 8) % largestRead;
        if (at == 0 && firstEnd != std::string_view::npos) length = std::max(length, firstEnd + 1);
        length = std::min(length, stream.size() - at);
        take(pieces.onRead(stream.substr(at, length), kNow), piecesOut);
        at += length;
        checkBalance(pieces, piecesOut, at);
    }
    take(pieces.flush(), piecesOut);
    checkBalance(pieces, piecesOut, stream.size());

    if (firstEnd != std::string_view::npos) {
        if (bodies(wholeOut.messages) != bodies(piecesOut.messages)) fail();
        if (whole.droppedBytes() != pieces.droppedBytes()) fail();
    }
    return 0;
}
