#include "app/port_holder.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tev::app {
namespace {

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The process that owns one of `inodes` as "name (process N)", found through /proc/*/fd; empty
// when none is readable.
std::string ownerOf(const std::vector<std::uint64_t>& inodes) {
    std::error_code ec;
    for (std::filesystem::directory_iterator p("/proc", ec), end; !ec && p != end;
         p.increment(ec)) {
        const std::string pid = p->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code fdError;
        for (std::filesystem::directory_iterator fd(p->path() / "fd", fdError), fdEnd;
             !fdError && fd != fdEnd; fd.increment(fdError)) {
            std::error_code linkError;
            const std::string target = std::filesystem::read_symlink(fd->path(), linkError);
            if (linkError || target.rfind("socket:[", 0) != 0) continue;
            std::uint64_t inode = 0;
            std::from_chars(target.data() + 8, target.data() + target.size(), inode);
            for (const std::uint64_t wanted : inodes) {
                if (inode != wanted) continue;
                std::string name = fileText(p->path() / "comm");
                while (!name.empty() && (name.back() == '\n' || name.back() == ' '))
                    name.pop_back();
                if (name.empty()) name = "a program";
                return name + " (process " + pid + ")";
            }
        }
    }
    return {};
}

}  // namespace

std::vector<std::uint64_t> listeningInodes(std::string_view table, std::uint16_t port) {
    // "  sl  local_address rem_address   st tx_queue:rx_queue tr:tm->when retrnsmt   uid
    // timeout inode": the local address's port in hex after the colon, st 0A for listening.
    std::vector<std::uint64_t> inodes;
    std::istringstream lines{std::string(table)};
    std::string line;
    std::getline(lines, line);  // the column names
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        std::uint64_t inode = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode))
            continue;
        const std::size_t colon = local.rfind(':');
        if (colon == std::string::npos || state != "0A") continue;
        unsigned localPort = 0;
        const auto [end, error] =
            std::from_chars(local.data() + colon + 1, local.data() + local.size(), localPort, 16);
        if (error != std::errc() || localPort != port || inode == 0) continue;
        inodes.push_back(inode);
    }
    return inodes;
}

std::string portHolderText(std::uint16_t port) {
    std::vector<std::uint64_t> inodes;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"})
        for (const std::uint64_t inode : listeningInodes(fileText(table), port))
            inodes.push_back(inode);
    const std::string owner = inodes.empty() ? std::string() : ownerOf(inodes);
    return owner.empty() ? "held by another program" : "held by " + owner;
}

std::string takenPortsLine(const std::vector<PortUse>& taken) {
    if (taken.empty()) return {};
    std::string line;
    for (const PortUse& t : taken) {
        line += line.empty() ? "port " : "; port ";
        line += std::to_string(t.port) + " (" + t.what + ") is taken, " + portHolderText(t.port);
    }
    return line + ": tev3p ends";
}

}  // namespace tev::app
