#pragma once

#include <string>
#include <vector>

namespace tev {

// The user manual's file name in each place it is shipped.
inline constexpr const char* kUserManualFileName = "manual.html";

// Where the user manual may be, most specific first: the installed data folder beside the
// program's bin/ (share/tev3p), a docs/ folder next to the program, then the source tree's docs/
// for a program run from its build folder.
std::vector<std::string> userManualCandidates(const std::string& programDirectory);

// The first candidate that exists as a file, or an empty string.
std::string findUserManual(const std::string& programDirectory);

// The address a browser is given for a local file: file:///…/manual.html.
std::string fileUrl(const std::string& path);

}  // namespace tev
