#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tev::web {

// The server side of RFC 6455, as much as the live push needs: the handshake's key, the frames
// a client sends (it sends nothing but pings, pongs and a close; anything else is dropped) and
// the frames the server writes. Qt WebSockets is not used on the server: its handshake always
// carries Access-Control-Allow-* and it takes unmasked client frames.

// Sec-WebSocket-Key must be the base64 of 16 bytes.
bool validWebSocketKey(std::string_view key);
// The text SHA-1 is taken of for Sec-WebSocket-Accept: the key and the protocol's GUID.
std::string webSocketAcceptInput(std::string_view key);

namespace ws {
inline constexpr std::uint8_t kContinuation = 0x0;
inline constexpr std::uint8_t kText = 0x1;
inline constexpr std::uint8_t kBinary = 0x2;
inline constexpr std::uint8_t kClose = 0x8;
inline constexpr std::uint8_t kPing = 0x9;
inline constexpr std::uint8_t kPong = 0xA;

inline constexpr std::uint16_t kCloseNormal = 1000;
inline constexpr std::uint16_t kCloseGoingAway = 1001;
inline constexpr std::uint16_t kCloseProtocolError = 1002;
inline constexpr std::uint16_t kCloseBadData = 1007;
inline constexpr std::uint16_t kClosePolicy = 1008;
inline constexpr std::uint16_t kCloseTooBig = 1009;
}  // namespace ws

// The largest message a client may send: the dashboard sends none.
inline constexpr std::size_t kMaxClientMessageBytes = 1024;

enum class FrameState {
    Incomplete,  // more bytes needed
    Complete,    // `frame` and `consumed` are set
    Error,       // close the connection with `closeCode`
};

struct ClientFrame {
    bool fin = true;
    std::uint8_t opcode = 0;
    std::string payload;  // unmasked
};

struct FrameParse {
    FrameState state = FrameState::Incomplete;
    ClientFrame frame;
    std::size_t consumed = 0;
    std::uint16_t closeCode = 0;
};

// Reads one client frame from the start of `buffer`. A frame that is not masked, has reserved
// bits or opcodes, is a fragmented or long control frame, or is a continuation out of place is
// a protocol error (1002); one longer than kMaxClientMessageBytes is 1009, told from its header
// alone. `inMessage` says whether a fragmented message is open.
FrameParse parseClientFrame(std::string_view buffer, bool inMessage);

// Keeps the state of a client's messages between frames: which are open, how long they are.
class ClientMessages {
  public:
    // What a frame asks of the server. A close whose code no endpoint may send (none of
    // 1000-1003, 1007-1014, 3000-4999) or whose payload is one byte is answered 1002; a text
    // message or a close reason that is no valid UTF-8 is answered 1007.
    enum class Action { None, Pong, Close, Error };
    struct Result {
        Action action = Action::None;
        std::uint16_t closeCode = 0;
    };
    Result take(const ClientFrame& frame);
    bool inMessage() const { return inMessage_; }

  private:
    bool inMessage_ = false;
    bool textMessage_ = false;
    std::size_t messageBytes_ = 0;
    std::string text_;  // the open text message so far, at most kMaxClientMessageBytes
};

// A server frame (never masked): a text message, a ping, a pong, a close with its code.
std::string serverFrame(std::uint8_t opcode, std::string_view payload);
std::string closeFrame(std::uint16_t code);
// The code of a close frame's payload; 1005 (none given) when it has none.
std::uint16_t closeCodeOf(std::string_view payload);
// Whether a client may send this code in a close frame.
bool validCloseCode(std::uint16_t code);
}  // namespace tev::web
