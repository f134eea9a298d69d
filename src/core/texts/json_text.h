#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tev {

// The one JSON writer of the program: the MQTT payloads, the web API and the alerts all write
// their strings and numbers through these.

// Appends `text` as a JSON string that any parser reads: valid UTF-8 passes, every byte that is
// not part of a valid UTF-8 sequence becomes U+FFFD, and control characters (C0, DEL and the
// C1 range) are written as \u escapes. A meter's texts come from the network and may hold any
// byte.
void appendJsonString(std::string& out, std::string_view text);

// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string validUtf8(std::string_view text);

// The shortest text that reads back as the same float; null for NaN and infinities, which
// JSON cannot carry.
void appendJsonNumber(std::string& out, float value);

// `value` with `decimals` digits after the point, rounded as printf rounds; null for NaN and
// infinities. With `trimZeros`, trailing zeros and a bare point are left out and -0 is 0.
void appendJsonFixed(std::string& out, double value, int decimals, bool trimZeros = false);

void appendJsonInteger(std::string& out, std::int64_t value);

}  // namespace tev
