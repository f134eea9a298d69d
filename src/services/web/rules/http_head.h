#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tev::web {

// Bounds on one request head, as the meter port bounds a message: a client cannot make the
// program hold more than this per connection before it answers.
inline constexpr std::size_t kMaxRequestLineBytes = 4096;
inline constexpr std::size_t kMaxHeadBytes = 16384;
inline constexpr std::size_t kMaxHeaderFields = 64;

struct HttpHead {
    std::string method;
    std::string target;
    std::string version;  // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> fields;

    // The first field of this name (case-insensitive), trimmed.
    std::string_view field(std::string_view name) const;
    // How many fields have this name.
    std::size_t fieldCount(std::string_view name) const;
    bool keepAlive() const;
    bool hasBody() const;
    bool isWebSocketUpgrade() const;
};

enum class HeadState {
    Incomplete,  // more bytes needed
    Complete,    // `head` and `consumed` are set
    TooLarge,    // 431: request line or header fields beyond the bounds
    Malformed,   // 400
};

struct HeadParse {
    HeadState state = HeadState::Incomplete;
    HttpHead head;
    std::size_t consumed = 0;  // bytes of the head, its blank line included
};

// Reads a request head from the start of `buffer` (which may hold more than one request).
HeadParse parseHttpHead(std::string_view buffer);

// What makes a complete head unfit to answer on a kept-alive connection, as a 400's text;
// empty when nothing does. Two Content-Length fields (even equal ones), a Content-Length that
// is no number, a Transfer-Encoding or a body on GET or HEAD, or two Host fields: the server
// could read the request's end differently from a proxy before it (request smuggling).
std::string_view framingProblem(const HttpHead& head);

// What refuses a WebSocket upgrade before its Origin and key are looked at, as a status and
// its text: an upgrade over HTTP/1.0 (400), two Origin fields (403).
std::optional<std::pair<int, std::string_view>> upgradeProblem(const HttpHead& head);

// A line of the event log that tells of a failed save of the records or settings file.
bool isSaveFailureLine(std::string_view line);

}  // namespace tev::web
