// tev3p.ini as any bytes: every line kept is whole and numbered within the file, and the tray's
// one-line edit is always read back as written, whatever else the user's file holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/settings/ini_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tev::IniDocument doc = tev::IniDocument::parse(text);
    int lines = 1;
    for (char c : text) lines += c == '\n';
    for (const tev::IniGroup& g : doc.groups()) {
        for (const tev::IniEntry& e : g.entries) {
            if (e.line < 1 || e.line > lines) __builtin_trap();
            if (e.key.empty() || e.value.find('\n') != std::string::npos) __builtin_trap();
        }
        doc.values(g.name);
    }
    for (const tev::ConfigProblem& p : doc.problems())
        if (p.line < 1 || p.line > lines) __builtin_trap();

    const std::string edited = tev::withIniValue(text, "tray", "hidden", "true");
    const auto tray = tev::IniDocument::parse(edited).values("tray");
    const auto hidden = tray.find("hidden");
    if (hidden == tray.end() || hidden->second != "true") __builtin_trap();
    return 0;
}
