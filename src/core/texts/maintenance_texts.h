#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/texts/event_log.h"

namespace tev {

// The texts and small rules of the maintenance commands: the lifetime total typed into the
// TSet editor, the Reset confirmation and its log line, and the hidden weekday tester.

// A decimal number typed by the user: optional blanks around it, an optional sign, digits
// with a full stop as the decimal separator (whatever the desktop's locale) and an optional
// exponent. Nothing for any other text, for infinities and for NaN.
std::optional<double> parseTypedNumber(std::string_view text);

// What the TSet editor holds when its value is taken.
struct TotalEntry {
    enum class Kind { Empty, Number, NotANumber };
    Kind kind = Kind::Empty;
    float total = 0.0f;  // Number
    std::string error;   // NotANumber: the message for the user
};
TotalEntry readTotalEntry(std::string_view text);

// The total as the editor opens with it, one decimal ("1234.6" for 1234.56).
std::string totalEditorText(float total);

// The message for a text that is no number: 'abc' is not a valid number.
std::string notANumberMessage(std::string_view text);
// The title of the maintenance commands' plain message boxes.
inline constexpr std::string_view kMaintenanceMessageTitle = "TEV3P Power Monitor";

// The Yes/No question of Reset; none in Chinese-only mode, where Reset does nothing.
struct Confirmation {
    std::string title;
    std::string text;
};
std::optional<Confirmation> resetConfirmation(LanguageMode mode);

// The log message after a reset, written after the log stamp; none in Chinese-only mode.
std::optional<std::string> resetDoneMessage(LanguageMode mode);

// The weekday tester's answer: the index (0 = Sunday), two blanks and the English day name.
std::string weekdayTesterText(int year, int month, int day);

}  // namespace tev
