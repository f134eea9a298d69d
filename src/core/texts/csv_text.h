#pragma once

#include <string>
#include <string_view>

namespace tev {

// A text cell of a CSV answer or file, from a request, a meter or tev3p.ini. Quoted as RFC 4180
// reads it when it holds a comma, a double quote (doubled inside), CR or LF, so that no text
// moves a row's columns. A text that starts with =, +, -, @, a tab or CR gets a leading ' so
// that a spreadsheet shows it as text instead of running it as a formula. Number cells are
// written as numbers elsewhere and never pass through here.
std::string csvTextCell(std::string_view text);

}  // namespace tev
