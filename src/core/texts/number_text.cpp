#include "core/texts/number_text.h"

#include <charconv>
#include <cmath>

namespace tev {

std::string formatFixed(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 9) decimals = 9;
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    // Round half away from zero on the decimal scale, as the picture formats do.
    const double scale = std::pow(10.0, decimals);
    double scaled = std::round(value * scale);
    // to_chars writes a full stop whatever the locale; the desktop's locale (which the toolkit
    // installs for the C library) must not turn 1234.5 into "1234,5".
    char buf[400];
    const double shown = std::fabs(scaled) < 1e15 ? scaled / scale : value;
    const auto result =
        std::to_chars(buf, buf + sizeof buf, shown, std::chars_format::fixed, decimals);
    std::string text(buf, result.ptr);
    // A value that rounds to zero has no sign.
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

std::string logStamp(const DateTime& t) {
    return std::to_string(dateCode(t)) + " " + std::to_string(t.hour) + ":" +
           std::to_string(t.minute);
}

std::string startupStamp(const DateTime& t) {
    return std::to_string(t.year) + "/" + std::to_string(t.month) + "/" + std::to_string(t.day) +
           " " + std::to_string(t.hour) + ":" + std::to_string(t.minute);
}

}  // namespace tev
