#pragma once

#include <cstdint>
#include <string>

namespace tev::archive {

// One start or end of an alert, as the archive's alerts table keeps it.
struct AlertRecord {
    std::int64_t timeMs = 0;
    std::string meter;
    std::string rule;  // the rule's name in tev3p.ini
    int phase = 0;
    bool started = true;
    double value = 0;
    double threshold = 0;
};

}  // namespace tev::archive
