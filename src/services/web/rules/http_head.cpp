#include "services/web/rules/http_head.h"

#include <algorithm>

namespace tev::web {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto la = static_cast<char>(a[i] >= 'A' && a[i] <= 'Z' ? a[i] + 32 : a[i]);
        const auto lb = static_cast<char>(b[i] >= 'A' && b[i] <= 'Z' ? b[i] + 32 : b[i]);
        if (la != lb) return false;
    }
    return true;
}

bool containsToken(std::string_view list, std::string_view token) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        if (equalsIgnoringCase(item, token)) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

bool isTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::string_view HttpHead::field(std::string_view name) const {
    for (const auto& [k, v] : fields)
        if (equalsIgnoringCase(k, name)) return v;
    return {};
}

std::size_t HttpHead::fieldCount(std::string_view name) const {
    std::size_t n = 0;
    for (const auto& f : fields)
        if (equalsIgnoringCase(f.first, name)) ++n;
    return n;
}

bool HttpHead::keepAlive() const {
    const std::string_view connection = field("Connection");
    if (version == "HTTP/1.0") return containsToken(connection, "keep-alive");
    return !containsToken(connection, "close");
}

bool HttpHead::hasBody() const {
    const std::string_view length = field("Content-Length");
    return !field("Transfer-Encoding").empty() || (!length.empty() && length != "0");
}

bool HttpHead::isWebSocketUpgrade() const {
    return containsToken(field("Connection"), "upgrade") &&
           equalsIgnoringCase(field("Upgrade"), "websocket");
}

HeadParse parseHttpHead(std::string_view buffer) {
    HeadParse result;
    // Blank lines before a request are allowed and skipped.
    std::size_t start = 0;
    while (start + 1 < buffer.size() && buffer[start] == '\r' && buffer[start + 1] == '\n')
        start += 2;
    // Every line ends in CRLF. A bare LF is refused as soon as it arrives: a client that ends
    // its lines so would otherwise wait for a blank line it never sends, and a proxy before the
    // server may split the lines differently.
    std::size_t headEnd = std::string_view::npos;
    for (std::size_t pos = start; pos - start <= kMaxHeadBytes;) {
        const std::size_t nl = buffer.find('\n', pos);
        if (nl == std::string_view::npos) break;
        if (nl == 0 || buffer[nl - 1] != '\r') {
            result.state = HeadState::Malformed;
            return result;
        }
        if (nl == pos + 1 && pos > start) {
            headEnd = nl + 1;
            break;
        }
        pos = nl + 1;
    }
    const std::size_t lineEnd = buffer.find('\n', start);
    if (lineEnd == std::string_view::npos) {
        if (buffer.size() - start > kMaxRequestLineBytes) result.state = HeadState::TooLarge;
        return result;
    }
    if (lineEnd - start > kMaxRequestLineBytes) {
        result.state = HeadState::TooLarge;
        return result;
    }
    if (headEnd == std::string_view::npos) {
        if (buffer.size() - start > kMaxHeadBytes) result.state = HeadState::TooLarge;
        return result;
    }
    if (headEnd - start > kMaxHeadBytes) {
        result.state = HeadState::TooLarge;
        return result;
    }
    result.state = HeadState::Malformed;
    const std::string_view requestLine = trim(buffer.substr(start, lineEnd - start));
    const std::size_t sp1 = requestLine.find(' ');
    const std::size_t sp2 = requestLine.rfind(' ');
    if (sp1 == std::string_view::npos || sp2 == sp1) return result;
    HttpHead& h = result.head;
    h.method = std::string(requestLine.substr(0, sp1));
    h.target = std::string(requestLine.substr(sp1 + 1, sp2 - sp1 - 1));
    h.version = std::string(requestLine.substr(sp2 + 1));
    if (h.method.empty() || !std::all_of(h.method.begin(), h.method.end(), isTokenChar))
        return result;
    if (h.target.empty() || h.target.find(' ') != std::string::npos) return result;
    if (h.version != "HTTP/1.1" && h.version != "HTTP/1.0") return result;
    std::size_t pos = lineEnd + 1;
    while (pos < headEnd) {
        const std::size_t nl = buffer.find('\n', pos);
        const std::string_view line = buffer.substr(pos, nl - 1 - pos);  // without its CRLF
        pos = nl + 1;
        if (line.empty()) break;
        // A line that starts with white space continues the one before it (obsolete line
        // folding): refused, so that " Host: x" is never read as a field of its own.
        if (line.front() == ' ' || line.front() == '\t') return result;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return result;
        const std::string_view name = line.substr(0, colon);
        if (!std::all_of(name.begin(), name.end(), isTokenChar)) return result;
        // A CR or NUL inside a value would end a line or a string for whoever reads it next.
        const std::string_view value = line.substr(colon + 1);
        if (value.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos)
            return result;
        if (h.fields.size() >= kMaxHeaderFields) {
            result.state = HeadState::TooLarge;
            return result;
        }
        h.fields.emplace_back(std::string(name), std::string(trim(value)));
    }
    // HTTP/1.1 asks for a Host field.
    if (h.version == "HTTP/1.1" && h.field("Host").empty()) {
        bool present = false;
        for (const auto& f : h.fields) present = present || equalsIgnoringCase(f.first, "Host");
        if (!present) return result;
    }
    result.state = HeadState::Complete;
    result.consumed = headEnd;
    return result;
}

std::string_view framingProblem(const HttpHead& head) {
    const std::size_t lengths = head.fieldCount("Content-Length");
    if (lengths > 1) return "more than one Content-Length";
    const std::string_view length = head.field("Content-Length");
    if (lengths == 1 &&
        (length.empty() || length.size() > 18 ||
         !std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; })))
        return "Content-Length is not a number";
    if (head.fieldCount("Host") > 1) return "more than one Host";
    const bool reading = head.method == "GET" || head.method == "HEAD";
    if (reading && head.fieldCount("Transfer-Encoding") > 0)
        return "Transfer-Encoding on a GET or HEAD";
    if (reading && lengths == 1 && length.find_first_not_of('0') != std::string_view::npos)
        return "a body on a GET or HEAD";
    return {};
}

std::optional<std::pair<int, std::string_view>> upgradeProblem(const HttpHead& head) {
    if (head.version != "HTTP/1.1") return std::pair{400, "a WebSocket upgrade needs HTTP/1.1"};
    // Two Origin fields: the first might pass where a browser meant the second.
    if (head.fieldCount("Origin") > 1) return std::pair{403, "more than one Origin"};
    return std::nullopt;
}

bool isSaveFailureLine(std::string_view line) {
    const std::size_t save = line.find(" Save ");
    return save != std::string_view::npos && line.find(" fail: ", save) != std::string_view::npos;
}

}  // namespace tev::web
