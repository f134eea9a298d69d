#include "services/web/rules/request_target.h"

#include <charconv>

namespace tev::web {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> decodeComponent(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int hi = hexDigit(text[i + 1]);
            const int lo = hexDigit(text[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            const char decoded = static_cast<char>(hi * 16 + lo);
            if (decoded == '\0') return std::nullopt;
            out += decoded;
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

bool validPath(std::string_view path) {
    if (path.empty() || path.front() != '/') return false;
    if (path.find("..") != std::string_view::npos) return false;
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '%' || c == '\\') return false;
    }
    return true;
}

}  // namespace

std::optional<std::string_view> RequestTarget::value(std::string_view key) const {
    for (const auto& [k, v] : query)
        if (k == key) return std::string_view(v);
    return std::nullopt;
}

ParsedTarget parseRequestTarget(std::string_view target) {
    ParsedTarget result;
    if (target.size() > kMaxTargetBytes) {
        result.problem = TargetProblem::TooLong;
        return result;
    }
    const std::size_t fragment = target.find('#');
    if (fragment != std::string_view::npos) target = target.substr(0, fragment);
    const std::size_t mark = target.find('?');
    const std::string_view path = target.substr(0, mark);
    if (!validPath(path)) {
        result.problem = TargetProblem::Malformed;
        return result;
    }
    result.target.path = std::string(path);
    if (mark == std::string_view::npos) return result;
    std::string_view rest = target.substr(mark + 1);
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view item = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view{} : rest.substr(amp + 1);
        if (item.empty()) continue;
        if (result.target.query.size() >= kMaxQueryParameters) {
            result.problem = TargetProblem::TooManyParameters;
            result.target.query.clear();
            return result;
        }
        const std::size_t eq = item.find('=');
        auto key = decodeComponent(item.substr(0, eq));
        auto value = decodeComponent(eq == std::string_view::npos ? std::string_view{}
                                                                  : item.substr(eq + 1));
        if (!key || !value) {
            result.problem = TargetProblem::Malformed;
            result.target.query.clear();
            return result;
        }
        result.target.query.emplace_back(std::move(*key), std::move(*value));
    }
    return result;
}

std::vector<std::string> splitList(std::string_view text, char separator) {
    std::vector<std::string> items;
    while (!text.empty()) {
        const std::size_t at = text.find(separator);
        const std::string_view item = text.substr(0, at);
        if (!item.empty()) items.emplace_back(item);
        if (at == std::string_view::npos) break;
        text = text.substr(at + 1);
    }
    return items;
}

std::optional<long long> parseInteger(std::string_view text) {
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return v;
}

}  // namespace tev::web
