#include "app/option_reader.h"

#include <algorithm>

namespace tev::app {

std::string OptionProblem::text() const {
    switch (kind) {
        case Kind::Unknown:
            return "unknown option " + argument;
        case Kind::MissingValue:
            return option + " needs a value";
        case Kind::FlagWithValue:
            return option + " takes no value";
        case Kind::Repeated:
            return option + " is given more than once";
        case Kind::BadValue:
            return option + ": " + reason;
    }
    return argument;
}

bool ReadOptions::has(std::string_view name) const {
    return std::any_of(given.begin(), given.end(),
                       [&](const GivenOption& g) { return g.name == name; });
}

std::string ReadOptions::value(std::string_view name, const std::string& fallback) const {
    for (const GivenOption& g : given)
        if (g.name == name) return g.value.value_or(std::string());
    return fallback;
}

std::vector<std::string> ReadOptions::values(std::string_view name) const {
    std::vector<std::string> out;
    for (const GivenOption& g : given)
        if (g.name == name && g.value) out.push_back(*g.value);
    return out;
}

std::vector<std::string> ReadOptions::problemTexts(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const OptionProblem& p : problems) out.push_back(prefix + p.text());
    return out;
}

ReadOptions readOptions(const std::vector<OptionRule>& rules,
                        const std::vector<std::string>& arguments) {
    using Kind = OptionRule::Kind;
    using Problem = OptionProblem::Kind;
    ReadOptions read;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string name = argument;
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto rule = std::find_if(rules.begin(), rules.end(),
                                       [&](const OptionRule& s) { return s.name == name; });
        if (rule == rules.end()) {
            read.problems.push_back({Problem::Unknown, name, argument, {}});
            continue;
        }
        if (rule->kind == Kind::Flag && value) {
            read.problems.push_back({Problem::FlagWithValue, name, argument, {}});
            continue;
        }
        if (rule->kind == Kind::Value && !value) {
            if (i + 1 >= arguments.size()) {
                read.problems.push_back({Problem::MissingValue, name, argument, {}});
                continue;
            }
            value = arguments[++i];
        }
        if (!rule->repeatable && read.has(name)) {
            // Told once, however often it is repeated.
            if (std::none_of(read.problems.begin(), read.problems.end(),
                             [&](const OptionProblem& p) {
                                 return p.kind == Problem::Repeated && p.option == name;
                             }))
                read.problems.push_back({Problem::Repeated, name, argument, {}});
            continue;
        }
        if (value && rule->check) {
            if (std::string reason = rule->check(*value); !reason.empty()) {
                read.problems.push_back({Problem::BadValue, name, argument, std::move(reason)});
                continue;
            }
        }
        read.given.push_back({name, value});
    }
    return read;
}

}  // namespace tev::app
