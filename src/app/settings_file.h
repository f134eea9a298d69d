#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/ini_document.h"

namespace tev::app {

// The folder's tev3p.ini, read once at start: every service takes its group from here as plain
// values. No file is no setting at all; a file that cannot be read, or is too large to be one
// the user wrote, counts as empty and says so in `problems`.
struct SettingsFile {
    std::string folder;
    IniDocument ini;
    bool readable = true;
    // Every line left out or given twice, and a file that could not be read, each as a line
    // for the event log and standard error ("tev3p.ini line 7: not UTF-8 text; …").
    std::vector<std::string> problems;

    // The keys of `[group]` as plain values, each exactly as written.
    std::map<std::string, std::string> group(std::string_view name) const;
    // The key lines of `[group]` left out as not UTF-8 text, as "[group] line N of tev3p.ini is
    // not UTF-8 text: …" sentences: a bad setting of that group.
    std::vector<std::string> leftOut(std::string_view name) const;
};

SettingsFile readSettingsFile(const std::string& folder);

// `file` under `folder` when it is a relative path; an absolute or empty one as it is.
std::string pathInFolder(const std::string& folder, const std::string& file);

}  // namespace tev::app
