#include "core/texts/json_text.h"

#include <cstdio>

#include "core/texts/utf8.h"

namespace tev {
namespace {

constexpr std::string_view kReplacement = "\xef\xbf\xbd";  // U+FFFD

void appendEscape(std::string& out, char32_t code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(code));
    out += buf;
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += static_cast<char>(c);
            } else if (c < 0x20 || c == 0x7f) {
                appendEscape(out, c);
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t n = utf8Sequence(text, i, code);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else {
            if (code <= 0x9f)
                appendEscape(out, code);
            else
                out.append(text.substr(i, n));
            i += n;
        }
    }
    out += '"';
}

}  // namespace tev
