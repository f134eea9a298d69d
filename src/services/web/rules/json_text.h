#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tev::web {

// A JSON string literal: quotes, backslashes and control characters escaped; bytes that are
// not valid UTF-8 (a meter ID or a log line may carry any byte) become U+FFFD.
void appendJsonString(std::string& out, std::string_view text);

// The shortest text that reads back as the same float; null for NaN and infinities, which
// JSON cannot carry.
void appendJsonNumber(std::string& out, float value);

// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string validUtf8(std::string_view text);
void appendJsonInteger(std::string& out, std::int64_t value);

}  // namespace tev::web
