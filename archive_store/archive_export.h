#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tev::archive {

// `tev3p export --folder DIR --meter ID --resolution minute|hour|day [--from ISO] [--to ISO]
// --format tidy|json` (the arguments after "export"): one meter's archive rows to `out`.
// Returns the exit status: 0, 1 when the archive cannot be read, 2 for bad arguments.
int runArchiveExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tev::archive
