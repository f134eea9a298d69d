#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tev::web {

// The value of one base64 digit (A-Z, a-z, 0-9, + and /), or -1 for any other character.
int base64Value(char c);

// The bytes `text` encodes (trailing '=' padding allowed); nothing when a character is not a
// base64 digit.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace tev::web
