#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tev::web {

// Who the dashboard answers to. A page from another site may open a WebSocket to any address
// a browser reaches, and a DNS-rebinding page may even fetch a loopback dashboard's API under
// a name of its own: the Origin of an upgrade and, on a password-less loopback dashboard, the
// Host of every request are checked.
struct HostPolicy {
    // Loopback without a password: only localhost, 127.0.0.1 and [::1] with the port, and the
    // names in `allowedHosts`, are answered.
    bool restricted = false;
    std::uint16_t port = 0;
    bool tls = false;
    // [http] allowed_hosts: "name" (any port) or "name:port", as a reverse proxy or a LAN name
    // sends them; compared without regard to case.
    std::vector<std::string> allowedHosts;
};

// A host and optional port: "example.org", "example.org:8080", "[::1]:8080", "127.0.0.1".
struct Authority {
    std::string host;  // lower case; an IPv6 address keeps its brackets
    std::optional<std::uint16_t> port;
};
std::optional<Authority> parseAuthority(std::string_view text);

// Whether a request whose Host field (or absolute-form authority) is `host` is answered.
bool hostAllowed(const HostPolicy& policy, std::string_view host);

// Whether an upgrade with this Origin field may become a live feed: no Origin (a client that
// is no browser), or one whose host and port are those of the Host field, with https when the
// dashboard itself speaks TLS (http or https behind a reverse proxy).
bool originAllowed(const HostPolicy& policy, std::string_view origin, std::string_view host);

// A request target in absolute form ("http://127.0.0.1:8080/api/v1/live"): its path and query
// and its authority when it names this server (the scheme, the port and a host the policy
// allows); nothing when it names another. An origin-form target is returned as it is.
struct OriginForm {
    std::string target;     // "/api/v1/live"
    std::string authority;  // the Host the request stands for; empty for an origin-form target
};
std::optional<OriginForm> originFormOf(const HostPolicy& policy, std::string_view target);

// "[http] allowed_hosts=a.lan, proxy.example.org:443" → {"a.lan", "proxy.example.org:443"},
// the bad ones in `problems`.
std::vector<std::string> parseAllowedHosts(std::string_view text,
                                           std::vector<std::string>& problems);

// A text from the network fit for one log line: printable ASCII only, at most `limit` bytes.
std::string printableForLog(std::string_view text, std::size_t limit = 80);

}  // namespace tev::web
