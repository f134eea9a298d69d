#include "services/web/rules/host_rules.h"

#include <algorithm>
#include <charconv>

namespace tev::web {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

bool hostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

std::uint16_t defaultPort(bool tls) {
    return tls ? 443 : 80;
}

bool sameAuthority(const Authority& a, const Authority& b, std::uint16_t defaultPortOfBoth) {
    return a.host == b.host &&
           a.port.value_or(defaultPortOfBoth) == b.port.value_or(defaultPortOfBoth);
}

}  // namespace

std::optional<Authority> parseAuthority(std::string_view text) {
    Authority a;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close < 3) return std::nullopt;
        const std::string_view inner = text.substr(1, close - 1);
        for (const char c : inner)
            if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                  c == ':' || c == '.'))
                return std::nullopt;
        a.host = lower(text.substr(0, close + 1));
        rest = text.substr(close + 1);
    } else {
        const std::size_t colon = text.find(':');
        const std::string_view host = text.substr(0, colon);
        if (host.empty() || host.size() > 253 || !std::all_of(host.begin(), host.end(), hostChar))
            return std::nullopt;
        a.host = lower(host);
        rest = colon == std::string_view::npos ? std::string_view{} : text.substr(colon);
    }
    // A trailing dot names the same host ("localhost." is localhost).
    if (a.host.size() > 1 && a.host.back() == '.' && a.host.front() != '[') a.host.pop_back();
    if (rest.empty()) return a;
    if (rest.front() != ':' || rest.size() < 2 || rest.size() > 6) return std::nullopt;
    unsigned port = 0;
    const auto [end, ec] = std::from_chars(rest.data() + 1, rest.data() + rest.size(), port);
    if (ec != std::errc() || end != rest.data() + rest.size() || port == 0 || port > 65535)
        return std::nullopt;
    a.port = static_cast<std::uint16_t>(port);
    return a;
}

bool hostAllowed(const HostPolicy& policy, std::string_view host) {
    if (!policy.restricted) return true;
    const auto a = parseAuthority(host);
    if (!a) return false;
    const std::uint16_t port = a->port.value_or(defaultPort(policy.tls));
    if ((a->host == "localhost" || a->host == "127.0.0.1" || a->host == "[::1]") &&
        port == policy.port)
        return true;
    for (const std::string& allowed : policy.allowedHosts) {
        const auto b = parseAuthority(allowed);
        if (!b || b->host != a->host) continue;
        if (!b->port || *b->port == port) return true;
    }
    return false;
}

bool originAllowed(const HostPolicy& policy, std::string_view origin, std::string_view host) {
    if (origin.empty()) return true;
    bool tls = false;
    if (origin.rfind("https://", 0) == 0) {
        tls = true;
        origin.remove_prefix(8);
    } else if (origin.rfind("http://", 0) == 0 && !policy.tls) {
        origin.remove_prefix(7);
    } else {
        return false;  // "null", another scheme, or http to a TLS dashboard
    }
    const auto from = parseAuthority(origin);
    const auto to = parseAuthority(host);
    if (!from || !to) return false;
    return sameAuthority(*from, *to, defaultPort(tls));
}

std::optional<OriginForm> originFormOf(const HostPolicy& policy, std::string_view target) {
    if (!target.empty() && target.front() == '/') return OriginForm{std::string(target), {}};
    const std::size_t schemeEnd = target.find("://");
    if (schemeEnd == std::string_view::npos) return std::nullopt;
    const std::string scheme = lower(target.substr(0, schemeEnd));
    if (scheme != (policy.tls ? "https" : "http")) return std::nullopt;
    const std::string_view rest = target.substr(schemeEnd + 3);
    const std::size_t pathStart = rest.find_first_of("/?#");
    const std::string_view authority = rest.substr(0, pathStart);
    const auto a = parseAuthority(authority);
    if (!a || a->port.value_or(defaultPort(policy.tls)) != policy.port) return std::nullopt;
    if (!hostAllowed(policy, authority)) return std::nullopt;
    OriginForm form;
    form.authority = std::string(authority);
    if (pathStart == std::string_view::npos || rest[pathStart] != '/') {
        form.target = "/";
        if (pathStart != std::string_view::npos) form.target += rest.substr(pathStart);
    } else {
        form.target = std::string(rest.substr(pathStart));
    }
    return form;
}

std::vector<std::string> parseAllowedHosts(std::string_view text,
                                           std::vector<std::string>& problems) {
    std::vector<std::string> hosts;
    while (!text.empty()) {
        const std::size_t sep = text.find_first_of(", ");
        const std::string_view item = text.substr(0, sep);
        text = sep == std::string_view::npos ? std::string_view{} : text.substr(sep + 1);
        if (item.empty()) continue;
        if (const auto a = parseAuthority(item))
            hosts.push_back(a->host + (a->port ? ":" + std::to_string(*a->port) : ""));
        else
            problems.push_back("[http] allowed_hosts: \"" + printableForLog(item, 60) +
                               "\" is not a host name or host:port");
    }
    return hosts;
}

std::string printableForLog(std::string_view text, std::size_t limit) {
    std::string out;
    for (const char c : text) {
        if (out.size() >= limit) {
            out += "…";
            break;
        }
        const auto u = static_cast<unsigned char>(c);
        out += u >= 0x20 && u < 0x7f ? c : '?';
    }
    return out;
}

}  // namespace tev::web
