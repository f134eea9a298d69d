#include "services/web/rules/websocket_frames.h"

#include "core/texts/utf8.h"
#include "services/web/rules/base64.h"

namespace tev::web {
namespace {

bool isControl(std::uint8_t opcode) {
    return (opcode & 0x8) != 0;
}

}  // namespace

bool validWebSocketKey(std::string_view key) {
    // 16 bytes are 22 characters and "==", the last character holding 2 bits only.
    if (key.size() != 24 || key.substr(22) != "==") return false;
    for (std::size_t i = 0; i < 22; ++i)
        if (base64Value(key[i]) < 0) return false;
    return (base64Value(key[21]) & 0x0F) == 0;
}

std::string webSocketAcceptInput(std::string_view key) {
    return std::string(key) + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
}

FrameParse parseClientFrame(std::string_view buffer, bool inMessage) {
    FrameParse p;
    if (buffer.size() < 2) return p;
    const auto b0 = static_cast<std::uint8_t>(buffer[0]);
    const auto b1 = static_cast<std::uint8_t>(buffer[1]);
    const bool fin = (b0 & 0x80) != 0;
    const std::uint8_t opcode = b0 & 0x0F;
    const bool masked = (b1 & 0x80) != 0;
    std::uint64_t length = b1 & 0x7F;
    auto error = [&p](std::uint16_t code) {
        p.state = FrameState::Error;
        p.closeCode = code;
        return p;
    };
    if ((b0 & 0x70) != 0) return error(ws::kCloseProtocolError);
    const bool known = opcode == ws::kContinuation || opcode == ws::kText ||
                       opcode == ws::kBinary || opcode == ws::kClose || opcode == ws::kPing ||
                       opcode == ws::kPong;
    if (!known) return error(ws::kCloseProtocolError);
    if (!masked) return error(ws::kCloseProtocolError);
    if (isControl(opcode) && (!fin || length > 125)) return error(ws::kCloseProtocolError);
    if (opcode == ws::kContinuation && !inMessage) return error(ws::kCloseProtocolError);
    if ((opcode == ws::kText || opcode == ws::kBinary) && inMessage)
        return error(ws::kCloseProtocolError);
    std::size_t at = 2;
    if (length == 126) {
        if (buffer.size() < 4) return p;
        length = (static_cast<std::uint64_t>(static_cast<std::uint8_t>(buffer[2])) << 8) |
                 static_cast<std::uint8_t>(buffer[3]);
        at = 4;
    } else if (length == 127) {
        if (buffer.size() < 10) return p;
        length = 0;
        for (int i = 0; i < 8; ++i)
            length = (length << 8) | static_cast<std::uint8_t>(buffer[2 + i]);
        at = 10;
    }
    if (length > kMaxClientMessageBytes) return error(ws::kCloseTooBig);
    if (buffer.size() < at + 4 + length) return p;
    const std::string_view mask = buffer.substr(at, 4);
    at += 4;
    p.frame.fin = fin;
    p.frame.opcode = opcode;
    p.frame.payload.resize(length);
    for (std::size_t i = 0; i < length; ++i)
        p.frame.payload[i] = static_cast<char>(buffer[at + i] ^ mask[i % 4]);
    p.consumed = at + length;
    p.state = FrameState::Complete;
    return p;
}

ClientMessages::Result ClientMessages::take(const ClientFrame& frame) {
    switch (frame.opcode) {
        case ws::kPing:
            return {Action::Pong, 0};
        case ws::kPong:
            return {};
        case ws::kClose:
            if (frame.payload.size() == 1 ||
                (frame.payload.size() >= 2 && !validCloseCode(closeCodeOf(frame.payload))))
                return {Action::Error, ws::kCloseProtocolError};
            if (frame.payload.size() > 2 && !isUtf8(frame.payload.substr(2)))
                return {Action::Error, ws::kCloseBadData};
            return {Action::Close, ws::kCloseNormal};
        default:
            break;
    }
    if (frame.opcode != ws::kContinuation) {
        messageBytes_ = 0;
        textMessage_ = frame.opcode == ws::kText;
        text_.clear();
    }
    messageBytes_ += frame.payload.size();
    if (messageBytes_ > kMaxClientMessageBytes) return {Action::Error, ws::kCloseTooBig};
    inMessage_ = !frame.fin;
    // A character may be split between fragments: the whole text is checked at its end.
    if (textMessage_) {
        text_ += frame.payload;
        if (frame.fin && !isUtf8(text_)) return {Action::Error, ws::kCloseBadData};
        if (frame.fin) text_.clear();
    }
    return {};
}

bool validCloseCode(std::uint16_t code) {
    return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1014) ||
           (code >= 3000 && code <= 4999);
}

std::string serverFrame(std::uint8_t opcode, std::string_view payload) {
    std::string out;
    out.reserve(payload.size() + 10);
    out += static_cast<char>(0x80 | opcode);
    const std::size_t n = payload.size();
    if (n < 126) {
        out += static_cast<char>(n);
    } else if (n < 65536) {
        out += static_cast<char>(126);
        out += static_cast<char>((n >> 8) & 0xFF);
        out += static_cast<char>(n & 0xFF);
    } else {
        out += static_cast<char>(127);
        for (int i = 7; i >= 0; --i)
            out += static_cast<char>((static_cast<std::uint64_t>(n) >> (8 * i)) & 0xFF);
    }
    out += payload;
    return out;
}

std::string closeFrame(std::uint16_t code) {
    const char payload[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    return serverFrame(ws::kClose, std::string_view(payload, 2));
}

std::uint16_t closeCodeOf(std::string_view payload) {
    if (payload.size() < 2) return 1005;
    return static_cast<std::uint16_t>((static_cast<std::uint8_t>(payload[0]) << 8) |
                                      static_cast<std::uint8_t>(payload[1]));
}

}  // namespace tev::web
