#pragma once

#include <string>
#include <string_view>

namespace tev {

// Appends `text` as a JSON string that any parser reads: valid UTF-8 passes, every byte that is
// not part of a valid UTF-8 sequence becomes U+FFFD, and control characters (C0, DEL and the
// C1 range) are written as \u escapes. A meter's texts come from the network and may hold any
// byte.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace tev
