#pragma once

#include <cstdint>

namespace tev::fleet {

// What the shipper tells the rest of the program: plain values, copied on request.
struct FleetStatus {
    bool up = false;                   // connected, schema accepted, the last batch went in
    std::int64_t backlogRows = 0;      // archive rows not in the database in their final form
    std::int64_t lastShippedUnix = 0;  // when the database last committed a batch (0: never)
};

}  // namespace tev::fleet
