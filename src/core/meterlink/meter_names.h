#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tev {

// The names the user gives meters in tev3p.ini ([meters] name.<ID>=Kitchen), by meter ID. The
// services show them beside the ID; topics, paths and file keys stay by ID.
struct MeterNames {
    std::map<std::string, std::string, std::less<>> byId;

    // The meter's name; nothing for a meter without one.
    std::optional<std::string_view> of(std::string_view id) const {
        const auto it = byId.find(id);
        if (it == byId.end()) return std::nullopt;
        return std::string_view(it->second);
    }
};

// A name holds at most this many characters (UTF-8 code points).
inline constexpr std::size_t kMaxMeterNameCharacters = 40;
inline constexpr std::string_view kMeterNameKeyPrefix = "name.";

// The names of the [meters] group's name.<ID> keys. A key whose ID is not a 12-character meter
// ID, and a name that is not UTF-8, is longer than 40 characters or holds a control character,
// is left out and adds a sentence to `problems`; an empty name is no name.
MeterNames meterNamesFrom(const std::map<std::string, std::string>& metersGroup,
                          std::vector<std::string>& problems);

}  // namespace tev
