#include "core/texts/maintenance_texts.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/texts/number_text.h"
#include "platform/clock.h"

namespace tev {

namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::optional<double> parseTypedNumber(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    // from_chars would also read "inf", "nan" and hexadecimal forms; a typed total is none.
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        const bool allowed =
            (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
        if (!allowed) return std::nullopt;
    }
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::string notANumberMessage(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid number";
}

TotalEntry readTotalEntry(std::string_view text) {
    TotalEntry entry;
    if (text.empty()) return entry;
    const std::optional<double> value = parseTypedNumber(text);
    // The total is kept as a 32-bit float; a larger number is no total either.
    if (!value || std::fabs(*value) > std::numeric_limits<float>::max()) {
        entry.kind = TotalEntry::Kind::NotANumber;
        entry.error = notANumberMessage(text);
        return entry;
    }
    entry.kind = TotalEntry::Kind::Number;
    entry.total = static_cast<float>(*value);
    return entry;
}

std::string totalEditorText(float total) {
    return format1(total);
}

std::optional<Confirmation> resetConfirmation(LanguageMode mode) {
    switch (mode) {
        case LanguageMode::English:
            return Confirmation{"TEV3P Power Monitor Manager",
                                "Confirm Reset All Recorded Data ? "};
        case LanguageMode::Bilingual:
            return Confirmation{"TEV3P 電力監控器 資料管理",
                                "Reset All Data 確定刪除全部資料 還原初始狀態 ? "};
        default:
            return std::nullopt;
    }
}

std::optional<std::string> resetDoneMessage(LanguageMode mode) {
    return pickText(mode, " > Delete All Records, Reset to Orginal OK !",
                    " > Delete All Records 刪除全部記錄 還原初始狀態 OK !");
}

std::string weekdayTesterText(int year, int month, int day) {
    const int index = weekDayOf(year, month, day);
    return std::to_string(index) + "  " + std::string(kDayNames[index]);
}

}  // namespace tev
