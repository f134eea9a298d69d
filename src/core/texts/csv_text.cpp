#include "core/texts/csv_text.h"

namespace tev {

std::string csvTextCell(std::string_view text) {
    std::string cell;
    cell.reserve(text.size() + 3);
    if (!text.empty()) {
        const char first = text.front();
        if (first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' ||
            first == '\r')
            cell += '\'';
    }
    cell += text;
    if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
    std::string quoted = "\"";
    for (const char c : cell) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

}  // namespace tev
