#pragma once

#include <cstddef>
#include <string_view>

namespace tev {

// Length of the valid UTF-8 sequence at text[i], 0 when there is none (overlong forms,
// surrogates and values past U+10FFFF are not valid); `code` gets its value. Meter IDs, IP
// texts and CSV lines arrive as raw bytes; the log and the JSON payloads only pass on what
// this accepts.
inline std::size_t utf8Sequence(std::string_view text, std::size_t i, char32_t& code) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t min = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, code = lead & 0x1f, min = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, code = lead & 0x0f, min = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, code = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xc0) != 0x80) return 0;
        code = (code << 6) | (c & 0x3f);
    }
    if (code < min || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
    return length;
}

// True when the whole of `text` is valid UTF-8.
inline bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t n = utf8Sequence(text, i, code);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace tev
