#include "core/meterlink/message_fields.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "core/store/meter_registry.h"

namespace tev {
namespace {

constexpr char kFirstPrintable = ' ';
constexpr char kLastPrintable = '~';

bool isPrintableAscii(char c) {
    return c >= kFirstPrintable && c <= kLastPrintable;
}

}  // namespace

std::optional<float> parseDecimal(std::string_view text) {
    if (text.empty()) return std::nullopt;
    float value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (ec != std::errc() || end != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::int32_t> parseTruncatedDecimal(std::string_view text) {
    if (!parseDecimal(text)) return std::nullopt;
    const bool negative = text.front() == '-';
    if (negative) text.remove_prefix(1);
    std::string_view whole = text.substr(0, text.find('.'));
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    std::int64_t magnitude = 0;
    constexpr std::size_t kMaxInt32Digits = 10;
    if (whole.size() > kMaxInt32Digits) return std::nullopt;
    for (char c : whole) magnitude = magnitude * 10 + (c - '0');
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> parseInteger(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last) return std::nullopt;
    return value;
}

std::size_t findWithin(std::string_view text, char c, std::size_t from, std::size_t to) {
    if (to > text.size()) to = text.size();
    for (std::size_t i = from; i < to; ++i)
        if (text[i] == c) return i;
    return std::string_view::npos;
}

std::optional<std::string_view> bracketed(std::string_view text, char open, char close,
                                          std::size_t from, std::size_t to) {
    const std::size_t o = findWithin(text, open, from, to);
    if (o == std::string_view::npos) return std::nullopt;
    const std::size_t c = findWithin(text, close, o + 1, to);
    if (c == std::string_view::npos) return std::nullopt;
    return text.substr(o + 1, c - o - 1);
}

bool isStorableMeterId(std::string_view id) {
    if (id.size() != static_cast<std::size_t>(kMeterIdLength)) return false;
    for (char c : id)
        if (!isPrintableAscii(c) || c == '/' || c == '\\') return false;
    return true;
}

std::string printableText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < static_cast<unsigned char>(kFirstPrintable) || c == '\x7f') continue;
        shown += c;
    }
    return shown;
}

}  // namespace tev
