#include "services/fleet/rules/fleet_settings.h"

#include <algorithm>

#include "core/texts/json_text.h"

namespace tev::fleet {
namespace {

constexpr unsigned kGroupAndOthers = 077;
constexpr const char* kSslModes[] = {"disable", "allow",     "prefer",
                                     "require", "verify-ca", "verify-full"};

bool usableSite(std::string_view site) {
    if (site.empty() || site.size() > kMaxSiteBytes || validUtf8(site) != site) return false;
    return std::none_of(site.begin(), site.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// "key = 'value'" or "key=value" of a key/value connection string, in any case and between any
// white space: where the value starts and ends.
void redactKeyValue(std::string& out, std::string_view key) {
    std::size_t at = 0;
    while ((at = lowered(out).find(key, at)) != std::string::npos) {
        const bool wordStart = at == 0 || blank(out[at - 1]);
        std::size_t p = at + key.size();
        while (p < out.size() && blank(out[p])) ++p;
        if (!wordStart || p >= out.size() || out[p] != '=') {
            at = p;
            continue;
        }
        ++p;
        while (p < out.size() && blank(out[p])) ++p;
        std::size_t end = p;
        if (end < out.size() && out[end] == '\'') {
            for (++end; end < out.size() && out[end] != '\''; ++end)
                if (out[end] == '\\') ++end;
            end = std::min(end + 1, out.size());
        } else {
            while (end < out.size() && !blank(out[end])) ++end;
        }
        out.replace(p, end - p, "***");
        at = p + 3;
    }
}

}  // namespace

FleetSettings fleetSettingsFrom(const std::map<std::string, std::string>& keys,
                                const std::string& hostName, std::vector<std::string>& problems) {
    FleetSettings s;
    for (const auto& [key, value] : keys) {
        if (std::find(std::begin(kFleetKeys), std::end(kFleetKeys), key) == std::end(kFleetKeys))
            problems.push_back("[fleet] " + key + " is not a setting of the fleet sink");
    }
    auto get = [&](const char* key) {
        const auto it = keys.find(key);
        return it == keys.end() ? std::string() : it->second;
    };
    s.url = get("url");
    // Without a url nothing of the sink exists, and nothing else of the group matters.
    if (s.url.empty()) return FleetSettings{};
    s.passwordFile = get("password_file");
    s.sslmode = get("sslmode");
    if (!s.sslmode.empty() &&
        std::find(std::begin(kSslModes), std::end(kSslModes), s.sslmode) == std::end(kSslModes)) {
        problems.push_back("[fleet] sslmode=" + s.sslmode +
                           " is not one of disable, allow, prefer, require, verify-ca, "
                           "verify-full");
        s.sslmode.clear();
    }
    s.site = keys.count("site") ? get("site") : hostName;
    if (!usableSite(s.site)) {
        problems.push_back("[fleet] site \"" + validUtf8(s.site) + "\" must be 1 to " +
                           std::to_string(kMaxSiteBytes) +
                           " bytes of UTF-8 text without control characters");
        s.site.clear();
    }
    return s;
}

std::string passwordFileModeProblem(const std::string& path, unsigned mode) {
    if ((mode & kGroupAndOthers) == 0) return {};
    char octal[8];
    const unsigned permissions = mode & 0777;
    octal[0] = static_cast<char>('0' + ((permissions >> 6) & 7));
    octal[1] = static_cast<char>('0' + ((permissions >> 3) & 7));
    octal[2] = static_cast<char>('0' + (permissions & 7));
    octal[3] = '\0';
    return "[fleet] password_file " + path + " can be read by others (mode " + octal +
           "): chmod 600 it";
}

std::string redactedUrl(std::string_view url) {
    std::string out(url);
    const std::size_t scheme = out.find("://");
    if (scheme != std::string::npos) {
        const std::size_t authority = scheme + 3;
        const std::size_t end = out.find_first_of("/?", authority);
        const std::size_t at = out.rfind('@', end == std::string::npos ? out.size() : end);
        if (at != std::string::npos && at > authority) {
            const std::size_t colon = out.find(':', authority);
            if (colon != std::string::npos && colon < at)
                out.replace(colon + 1, at - colon - 1, "***");
        }
        // password=… among the query parameters
        const std::size_t query = out.find('?', authority);
        if (query != std::string::npos) {
            std::size_t p = query;
            while ((p = lowered(out).find("password=", p)) != std::string::npos) {
                if (out[p - 1] != '?' && out[p - 1] != '&') {
                    p += 9;
                    continue;
                }
                const std::size_t v = p + 9;
                const std::size_t e = out.find('&', v);
                out.replace(v, (e == std::string::npos ? out.size() : e) - v, "***");
                p = v + 3;
            }
        }
        return out;
    }
    redactKeyValue(out, "password");
    return out;
}

}  // namespace tev::fleet
