#include "texts/number_text.h"

#include <cmath>
#include <cstdio>

namespace tev {

std::string formatFixed(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 9) decimals = 9;
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    // Round half away from zero on the decimal scale, as the picture formats do.
    const double scale = std::pow(10.0, decimals);
    double scaled = std::round(value * scale);
    char buf[64];
    if (std::fabs(scaled) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.*f", decimals, scaled / scale);
    } else {
        std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    }
    std::string text(buf);
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
