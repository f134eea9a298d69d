#pragma once

#include <cstdlib>
#include <ctime>

namespace tev::archive::testing {

// Central European time with its summer rule, written out so no zone database is needed.
inline void useCentralEuropeanTime() {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
}

}  // namespace tev::archive::testing
