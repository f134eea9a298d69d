#pragma once

#include <map>
#include <string>

namespace tev {

// The keys of one group of the folder's tev3p.ini, each value as written (QSettings gives a
// value with a comma back as a list; it is joined again). No file: no keys. False, with no keys,
// when Qt's INI reader cannot read the file.
bool readIniGroup(const std::string& folder, const char* group,
                  std::map<std::string, std::string>& keys);

// `file` under `folder` when it is a relative path; an absolute or empty one as it is.
std::string pathInFolder(const std::string& folder, const std::string& file);

}  // namespace tev
