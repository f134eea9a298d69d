#include "app/port_holder.h"

#include <gtest/gtest.h>

namespace tev::app {
namespace {

TEST(PortHolder, FindsTheListeningSocketsOfAPortInTheProcTables) {
    // Port 9317 is 0x2465; state 0A listens, 01 is an established connection.
    const std::string table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode\n"
        "   0: 0100007F:2465 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000   "
        "     0 4242 1 0000000000000000 100 0 0 10 0\n"
        "   1: 0100007F:2465 0100007F:D2F0 01 00000000:00000000 00:00000000 00000000  1000   "
        "     0 5151 1 0000000000000000 20 4 30 10 -1\n"
        "   2: 00000000:13F9 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0   "
        "     0 777 1 0000000000000000 100 0 0 10 0\n"
        "   3: garbage\n";
    const struct {
        std::uint16_t port;
        std::vector<std::uint64_t> inodes;
    } cases[] = {{9317, {4242}}, {5113, {777}}, {80, {}}};
    for (const auto& c : cases) EXPECT_EQ(listeningInodes(table, c.port), c.inodes) << c.port;
    EXPECT_EQ(takenPortsLine({}), "");
}

}  // namespace
}  // namespace tev::app
