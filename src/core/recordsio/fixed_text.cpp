#include "core/recordsio/fixed_text.h"

#include <charconv>
#include <cmath>

#include "core/texts/number_text.h"

namespace tev {

void appendFixed(std::string& out, double value, int decimals) {
    static constexpr double kScale[] = {1.0, 10.0, 100.0};
    if (decimals < 0 || decimals > 2 || !std::isfinite(value)) {
        out += formatFixed(value, decimals);
        return;
    }
    const double scaled = std::round(value * kScale[decimals]);
    // Beyond this the digits no longer fit an integer exactly; printf takes over.
    if (!(std::fabs(scaled) < 1e15)) {
        out += formatFixed(value, decimals);
        return;
    }
    const auto whole = static_cast<std::int64_t>(scaled);
    std::uint64_t magnitude =
        whole < 0 ? static_cast<std::uint64_t>(-whole) : static_cast<std::uint64_t>(whole);
    char buf[32];
    int p = sizeof buf;
    int digits = 0;
    do {
        buf[--p] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
        if (++digits == decimals) buf[--p] = '.';
    } while (magnitude != 0 || digits <= decimals);
    // A value that rounds to zero has no sign.
    if (whole < 0) buf[--p] = '-';
    out.append(buf + p, sizeof buf - p);
}

void appendInteger(std::string& out, std::int64_t value) {
    char buf[24];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
}

void appendTimeOfDay(std::string& out, std::int32_t minutes) {
    appendInteger(out, minutes / 60);
    out += ':';
    appendInteger(out, minutes % 60);
}

}  // namespace tev
