#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tev {

// Field conversions and bounded scans shared by the meter message kinds. Positions are 0-based
// here; every scan stays inside the text it is given.

// A decimal number with a full stop as separator ("230.5", "-1.25", ".5"); the whole text must
// convert and the value must be finite. Empty text does not convert.
std::optional<float> parseDecimal(std::string_view text);

// A decimal number as parseDecimal reads it, taken as a 32-bit integer with its fraction cut
// toward zero, straight from its digits ("123456789.9" gives 123456789, "-0.5" gives 0). A value
// whose integer part does not fit in 32 bits does not convert.
std::optional<std::int32_t> parseTruncatedDecimal(std::string_view text);

// A 32-bit integer with an optional leading minus; a fraction or any other character does not
// convert.
std::optional<std::int32_t> parseInteger(std::string_view text);

// Index of the first `c` in text[from, to), or npos; `to` is clamped to the text.
std::size_t findWithin(std::string_view text, char c, std::size_t from, std::size_t to);

// The text between the first `open` in text[from, to) and the next `close` after it in the same
// range; nullopt when either is missing.
std::optional<std::string_view> bracketed(std::string_view text, char open, char close,
                                          std::size_t from, std::size_t to);

// A meter ID that can be kept in the registry and name a day file: 12 printable ASCII characters,
// no path separator.
bool isStorableMeterId(std::string_view id);

// The message as the event log shows it: control characters left out.
std::string printableText(std::string_view text);

}  // namespace tev
