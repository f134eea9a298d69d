#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tev::web {

// Bounds on what one request target may make the program hold: a browser never comes near
// them, and anything beyond is refused before it is looked at.
inline constexpr std::size_t kMaxTargetBytes = 2048;
inline constexpr std::size_t kMaxQueryParameters = 16;

// A request target split into its path and its decoded query parameters.
struct RequestTarget {
    std::string path;
    std::vector<std::pair<std::string, std::string>> query;

    // The first value of `key`, if present.
    std::optional<std::string_view> value(std::string_view key) const;
};

enum class TargetProblem { None, TooLong, Malformed, TooManyParameters };

struct ParsedTarget {
    RequestTarget target;
    TargetProblem problem = TargetProblem::None;
};

// Splits "/api/v1/series?scale=hour&quantities=Watt,V1" into its path and parameters, with
// %XX and '+' decoded in the query. A path must start with '/', hold no "..", no NUL and no
// percent escapes: paths are looked up in a fixed table and never reach a file system.
ParsedTarget parseRequestTarget(std::string_view target);

// "Watt,V1" → {"Watt","V1"}; empty items are dropped.
std::vector<std::string> splitList(std::string_view text, char separator = ',');

// A whole decimal integer, optionally negative, that fits in 64 bits.
std::optional<long long> parseInteger(std::string_view text);

// The times a request may name, Unix seconds: from 1970-01-01 up to 2200-01-01 (UTC). No meter
// recorded before them and none will after; within them every sum or difference of two times
// stays far from the 64-bit limits, and the C library's calendar converts every one.
inline constexpr std::int64_t kEarliestRequestTime = 0;
inline constexpr std::int64_t kLatestRequestTime = 7258118400;
inline constexpr bool inRequestTimeRange(std::int64_t t) {
    return t >= kEarliestRequestTime && t <= kLatestRequestTime;
}
// What the 400 answer to a time outside them says, after the parameter's name.
inline constexpr std::string_view kRequestTimeRangeText =
    " must lie between 1970-01-01 and 2200-01-01";

}  // namespace tev::web
