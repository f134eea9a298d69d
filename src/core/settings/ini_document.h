#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tev {

// One `key=value` line of tev3p.ini with the line it stands on, so that a bad setting can be
// reported with the place the user has to look at.
struct IniEntry {
    std::string key;
    std::string value;
    int line = 0;
};

// A line of tev3p.ini that was ignored or left out, with why.
struct ConfigProblem {
    int line = 0;
    std::string text;  // e.g. "current_max=abc: not a number"
};

struct IniGroup {
    std::string name;  // "" for keys before the first group header
    int line = 0;
    std::vector<IniEntry> entries;
    // Key lines of this group that were left out because they are not UTF-8 text: a bad
    // setting of the group, which its service judges as it judges its other bad settings.
    std::vector<ConfigProblem> leftOut;
};

// The groups of tev3p.ini, read as the user wrote them:
// - `[group]` headers (`[General]` is the group of keys outside any group) and `key=value`
//   lines; blanks around keys and values are dropped;
// - a line whose first character is `;` or `#` is a comment, and a `;` or `#` after a blank
//   ends a value (a trailing comment); anywhere else `;`, `#` and `,` belong to the value;
// - a value wholly in double quotes is taken between them exactly, blanks and marks included;
// - a byte-order mark at the start, and CR LF line ends, are allowed;
// - a line that is not UTF-8 text, or is neither a header, a key, a comment nor blank, is left
//   out and told in problems(); a key given twice in its group is told there too.
class IniDocument {
  public:
    static IniDocument parse(std::string_view text);

    const std::vector<IniGroup>& groups() const { return groups_; }
    // Every group of that exact name (a hand-edited file may repeat one), in file order.
    std::vector<const IniGroup*> find(std::string_view name) const;
    // The keys of every group of that name as plain values; of a key given twice, the later.
    std::map<std::string, std::string> values(std::string_view group) const;
    // Every line left out or given twice, in file order, each said once.
    const std::vector<ConfigProblem>& problems() const { return problems_; }

  private:
    std::vector<IniGroup> groups_;
    std::vector<ConfigProblem> problems_;
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
