#include "services/fleet/rules/reconnect_backoff.h"

#include <algorithm>

namespace tev::fleet {

int ReconnectBackoff::next(std::uint32_t random) {
    const int wait = current_ == 0 ? first_ : current_;
    current_ = wait >= longest_ / 2 ? longest_ : wait * 2;
    const int half = std::max(1, wait / 2);
    return wait - half + static_cast<int>(random % static_cast<std::uint32_t>(half + 1));
}

}  // namespace tev::fleet
