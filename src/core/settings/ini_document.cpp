#include "core/settings/ini_document.h"

#include <charconv>
#include <cstdint>
#include <utility>

#include "core/texts/utf8.h"

namespace tev {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The value after `=`, as written: a value wholly in double quotes is taken between them; else
// a `;` or `#` after a blank starts a trailing comment, and blanks around the value go.
std::string valueOf(std::string_view raw) {
    const std::string_view trimmed = trim(raw);
    if (trimmed.size() >= 2 && trimmed.front() == '"') {
        const std::size_t close = trimmed.find('"', 1);
        const std::string_view rest = trim(trimmed.substr(close + 1));
        if (close != std::string_view::npos &&
            (rest.empty() || rest.front() == ';' || rest.front() == '#'))
            return std::string(trimmed.substr(1, close - 1));
    }
    std::size_t end = raw.size();
    for (std::size_t i = 1; i < raw.size(); ++i) {
        if ((raw[i] == ';' || raw[i] == '#') && isBlank(raw[i - 1])) {
            end = i;
            break;
        }
    }
    return std::string(trim(raw.substr(0, end)));
}

// An INI library writes a key or group name with characters outside letters, digits and a few
// marks as %XX or %UXXXX.
std::string unescapeKey(std::string_view raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && raw.size() - i >= 3) {
            const bool wide = raw[i + 1] == 'U';
            const std::size_t digits = wide ? 4 : 2;
            const std::size_t from = i + (wide ? 2 : 1);
            std::uint32_t cp = 0;
            bool ok = from + digits <= raw.size();
            for (std::size_t k = 0; ok && k < digits; ++k) {
                const int d = hexDigit(raw[from + k]);
                ok = d >= 0;
                cp = cp * 16 + static_cast<std::uint32_t>(d < 0 ? 0 : d);
            }
            if (ok) {
                appendUtf8(out, cp);
                i = from + digits - 1;
                continue;
            }
        }
        out += raw[i];
    }
    return out;
}

}  // namespace

IniDocument IniDocument::parse(std::string_view text) {
    IniDocument doc;
    doc.groups_.push_back(IniGroup{"", 0, {}, {}});
    // Where each key of each group was first given, to tell a repeated key.
    std::map<std::pair<std::string, std::string>, int> seen;
    int lineNo = 0;
    std::size_t pos = 0;
    if (text.starts_with("\xEF\xBB\xBF")) pos = 3;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = trim(text.substr(pos, end - pos));
        ++lineNo;
        pos = end + 1;
        if (line.empty()) continue;
        const bool comment = line.front() == ';' || line.front() == '#';
        if (!isUtf8(line)) {
            if (!comment && line.front() != '[' && line.find('=') != std::string_view::npos)
                doc.groups_.back().leftOut.push_back(ConfigProblem{lineNo, "not UTF-8 text"});
            doc.problems_.push_back(ConfigProblem{lineNo, "not UTF-8 text; the line is left out"});
            // The keys under an unreadable header belong to no group a service reads.
            if (!comment && line.front() == '[')
                doc.groups_.push_back(IniGroup{std::string(line), lineNo, {}, {}});
            continue;
        }
        if (comment) continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos || !trim(line.substr(close + 1)).empty()) {
                doc.problems_.push_back(
                    ConfigProblem{lineNo, "not a [group] header; the line is ignored"});
                // The keys under it belong to no group a service reads, rather than to the
                // group above it.
                doc.groups_.push_back(IniGroup{std::string(line), lineNo, {}, {}});
                continue;
            }
            std::string name = unescapeKey(trim(line.substr(1, close - 1)));
            if (name == "General") name.clear();
            doc.groups_.push_back(IniGroup{std::move(name), lineNo, {}, {}});
            continue;
        }
        const std::size_t eq = line.find('=');
        const std::string_view key = eq == std::string_view::npos ? "" : trim(line.substr(0, eq));
        if (key.empty()) {
            doc.problems_.push_back(
                ConfigProblem{lineNo, "not a key=value line; the line is ignored"});
            continue;
        }
        IniGroup& group = doc.groups_.back();
        IniEntry entry{unescapeKey(key), valueOf(line.substr(eq + 1)), lineNo};
        const auto [first, fresh] = seen.try_emplace({group.name, entry.key}, lineNo);
        if (!fresh)
            doc.problems_.push_back(ConfigProblem{
                lineNo, (group.name.empty() ? std::string() : "[" + group.name + "] ") + entry.key +
                            " is given again (first on line " + std::to_string(first->second) +
                            "); this line is used"});
        group.entries.push_back(std::move(entry));
    }
    return doc;
}

std::vector<const IniGroup*> IniDocument::find(std::string_view name) const {
    std::vector<const IniGroup*> found;
    for (const IniGroup& g : groups_)
        if (g.name == name) found.push_back(&g);
    return found;
}

std::map<std::string, std::string> IniDocument::values(std::string_view group) const {
    std::map<std::string, std::string> keys;
    for (const IniGroup* g : find(group))
        for (const IniEntry& e : g->entries) keys[e.key] = e.value;
    return keys;
}

std::string withIniValue(std::string_view text, std::string_view group, std::string_view key,
                         std::string_view value) {
    const std::string_view eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    const std::string line = std::string(key) + "=" + std::string(value);
    std::string out;
    out.reserve(text.size() + line.size() + group.size() + 8);
    std::string current;  // the group of the line being read
    bool replaced = false;
    std::size_t underHeader = std::string::npos;  // where a new line goes in the group
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        std::string_view body = text.substr(pos, end - pos);
        if (pos == 0 && body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
        const std::string_view trimmed = trim(body);
        if (trimmed.starts_with('[')) {
            // A header as the reader takes it: readable, closed, nothing after the bracket;
            // any other line starting with a bracket opens a group nobody reads.
            const std::size_t close = trimmed.find(']');
            const bool header = close != std::string_view::npos && isUtf8(trimmed) &&
                                trim(trimmed.substr(close + 1)).empty();
            current = header ? unescapeKey(trim(trimmed.substr(1, close - 1))) : "\n";
            if (current == "General") current.clear();
            out.append(text.substr(pos, next - pos));
            if (end == text.size()) out.append(eol);
            if (current == group && underHeader == std::string::npos) underHeader = out.size();
            pos = next;
            continue;
        }
        const std::size_t eq = trimmed.find('=');
        const bool comment = trimmed.starts_with(';') || trimmed.starts_with('#');
        if (!comment && eq != std::string_view::npos && current == group &&
            unescapeKey(trim(trimmed.substr(0, eq))) == key) {
            // Every line of the key in the group, so that no later duplicate wins over it. The
            // indentation and the line's end stay.
            std::size_t contentEnd = end;
            if (contentEnd > pos && text[contentEnd - 1] == '\r') --contentEnd;
            const std::size_t indent = trimmed.data() - (text.data() + pos);
            out.append(text.substr(pos, indent));
            out.append(line);
            if (next > contentEnd)
                out.append(text.substr(contentEnd, next - contentEnd));
            else
                out.append(eol);
            replaced = true;
        } else {
            out.append(text.substr(pos, next - pos));
        }
        pos = next;
    }
    if (replaced) return out;
    if (underHeader != std::string::npos) {
        out.insert(underHeader, line + std::string(eol));
        return out;
    }
    if (!out.empty() && out.back() != '\n') out.append(eol);
    if (!out.empty()) out.append(eol);
    out += "[" + std::string(group) + "]" + std::string(eol) + line + std::string(eol);
    return out;
}

bool parseIniNumber(std::string_view text, double& out) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size()) return false;
    if (!(v == v) || v > 1e300 || v < -1e300) return false;  // NaN and infinities
    out = v;
    return true;
}

}  // namespace tev
