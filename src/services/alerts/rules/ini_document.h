#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tev {

// One `key=value` line of tev3p.ini with the line it stands on, so that a bad alert rule or
// tariff line can be reported with the place the user has to look at.
struct IniEntry {
    std::string key;
    std::string value;
    int line = 0;
};

struct IniGroup {
    std::string name;  // "" for keys before the first group header
    int line = 0;
    std::vector<IniEntry> entries;
};

// The groups of an INI text as QSettings writes it: `[group]` headers, `key=value` lines,
// comments after `;` or `#`, values optionally in double quotes with QSettings' backslash
// escapes (\\ \" \n \t \r \0 \xHHHH). QSettings' own settings are read through QSettings; this
// reader exists because QSettings forgets where a value came from.
class IniDocument {
  public:
    static IniDocument parse(std::string_view text);

    const std::vector<IniGroup>& groups() const { return groups_; }
    // Every group of that exact name (a hand-edited file may repeat one), in file order.
    std::vector<const IniGroup*> find(std::string_view name) const;

  private:
    std::vector<IniGroup> groups_;
};

// A line of tev3p.ini that was ignored, with why; reported once when the file is read.
struct ConfigProblem {
    int line = 0;
    std::string text;  // e.g. "current_max=abc: not a number"
};

// `text` with `key=value` set in `[group]`, every other line (comments, blank lines, other
// groups, their order) as it was: an existing line of that key in the group is replaced, else
// the line goes right under the group's first header, else the group is added at the end. The
// file's own line ends (CR LF or LF) are kept. `key` and `value` are plain ASCII words.
std::string withIniValue(std::string_view text, std::string_view group, std::string_view key,
                         std::string_view value);

// Reads a decimal number that must be the whole text (spaces around allowed).
bool parseIniNumber(std::string_view text, double& out);

}  // namespace tev
