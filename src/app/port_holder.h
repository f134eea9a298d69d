#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tev::app {

// The socket inodes listening on `port` in a /proc/net/tcp or /proc/net/tcp6 table.
std::vector<std::uint64_t> listeningInodes(std::string_view table, std::uint16_t port);

// Who holds a listening TCP port, for the line that tells the port is taken: "held by nc
// (process 4242)" when /proc shows the listening socket and a readable process owns it, else
// "held by another program".
std::string portHolderText(std::uint16_t port);

// The line told when ports could not be listened on because they are taken, e.g. "port 9317
// (meters) is taken, held by nc (process 4242): tev3p ends"; empty when no port is taken.
struct PortUse {
    std::uint16_t port = 0;
    std::string what;  // "meters", "second port", "web dashboard"
};
std::string takenPortsLine(const std::vector<PortUse>& taken);

}  // namespace tev::app
