#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tev::fleet {

// `[fleet]` in tev3p.ini: where every minute, hour, day and alert row of the archive is copied
// to. Off while no url is set.
struct FleetSettings {
    std::string url;           // any libpq connection string: postgresql://user@host:5432/db
    std::string passwordFile;  // first line is the password; read at every connection
    std::string site;          // the recorder's name in the database; default the host name
    std::string sslmode;       // empty: the url's or libpq's default

    bool enabled() const { return !url.empty(); }
};

inline constexpr const char* kFleetKeys[] = {"url", "password_file", "site", "sslmode"};
inline constexpr std::size_t kMaxSiteBytes = 64;

// Settings from the group's keys; `hostName` is the site when none is given. Each unknown key
// or unusable value adds a sentence to `problems`.
FleetSettings fleetSettingsFrom(const std::map<std::string, std::string>& keys,
                                const std::string& hostName, std::vector<std::string>& problems);

// A password file must be the user's alone (mode 600 or stricter), as libpq asks of its own
// password file: the reason when `mode` lets the group or others in, else empty.
std::string passwordFileModeProblem(const std::string& path, unsigned mode);

// The connection string as the log may show it: a password in it is replaced by "***".
std::string redactedUrl(std::string_view url);

}  // namespace tev::fleet
