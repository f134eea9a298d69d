#include "core/texts/json_text.h"

#include <charconv>
#include <cmath>
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

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t n =
            static_cast<unsigned char>(text[i]) < 0x80 ? 1 : utf8Sequence(text, i, code);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

void appendJsonNumber(std::string& out, float value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

void appendJsonFixed(std::string& out, double value, int decimals, bool trimZeros) {
    char buffer[400];  // the widest double in fixed notation, with its decimals
    const auto [end, ec] = std::isfinite(value)
                               ? std::to_chars(buffer, buffer + sizeof buffer, value,
                                               std::chars_format::fixed, decimals)
                               : std::to_chars_result{buffer, std::errc::value_too_large};
    if (ec != std::errc()) {
        out += "null";
        return;
    }
    std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    if (trimZeros && text.find('.') != std::string_view::npos) {
        while (text.back() == '0') text.remove_suffix(1);
        if (text.back() == '.') text.remove_suffix(1);
        if (text == "-0") text = "0";
    }
    out += text;
}

void appendJsonInteger(std::string& out, std::int64_t value) {
    char buffer[24];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

}  // namespace tev
