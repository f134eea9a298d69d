#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tev::app {

// One command-line option: "--folder DIR" and "--folder=DIR" for a valued one, "--headless"
// alone for a flag.
struct OptionRule {
    enum class Kind {
        Value,             // takes the next argument, or the text after '='
        Flag,              // stands alone; "--flag=x" is a problem
        FlagOrInlineValue  // stands alone, or takes the text after '=' (never the next argument)
    };
    std::string name;  // as typed: "--folder", "-h"
    Kind kind = Kind::Value;
    bool repeatable = false;  // else a second use is a problem
    // A value's problem in words ("\"x1\" is not a port number"), empty when it is usable.
    std::function<std::string(const std::string& value)> check = {};
};

struct OptionProblem {
    enum class Kind { Unknown, MissingValue, FlagWithValue, Repeated, BadValue };
    Kind kind = Kind::Unknown;
    std::string option;    // the name, without "=value"
    std::string argument;  // the argument as given
    std::string reason;    // BadValue: what `check` said
    // The problem in the program's words: "unknown option --colour", "--folder needs a value".
    std::string text() const;
};

struct GivenOption {
    std::string name;
    std::optional<std::string> value;  // none for a flag given alone
};

// The options of one command line, in the order given, and what was wrong with it.
struct ReadOptions {
    std::vector<GivenOption> given;
    std::vector<OptionProblem> problems;

    bool has(std::string_view name) const;
    // The value of an option given once; `fallback` when it is not given.
    std::string value(std::string_view name, const std::string& fallback = {}) const;
    // Every value of a repeatable option, in order.
    std::vector<std::string> values(std::string_view name) const;
    // The problems' texts, each after `prefix`.
    std::vector<std::string> problemTexts(const std::string& prefix) const;
};

// Reads `arguments` against `rules`; never prints or ends the program. A valued option takes
// the next argument whatever it looks like, as a shell user expects of "--folder -x"; an
// unknown argument takes nothing.
ReadOptions readOptions(const std::vector<OptionRule>& rules,
                        const std::vector<std::string>& arguments);

}  // namespace tev::app
