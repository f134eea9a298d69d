#pragma once

#include <cctype>
#include <string>

namespace tev::testing {

// The note "\n… N log lines not written to standard output\n" that the echo writes once its
// reader reads again: where it starts in `text`, its length and N (pos is npos when absent).
// Found by hand: std::regex trips gcc 12's false -Wmaybe-uninitialized in the sanitizer build.
struct LostLinesNote {
    std::size_t pos = std::string::npos;
    std::size_t length = 0;
    int count = 0;
    bool found() const { return pos != std::string::npos; }
};

inline LostLinesNote findLostLinesNote(const std::string& text) {
    const std::string head = "\n… ";
    const std::string tail = " log lines not written to standard output\n";
    for (auto at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) {
        const std::size_t digits = at + head.size();
        std::size_t end = digits;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end > digits && end - digits < 10 && text.compare(end, tail.size(), tail) == 0)
            return {at, end + tail.size() - at, std::stoi(text.substr(digits, end - digits))};
    }
    return {};
}

}  // namespace tev::testing
