#pragma once

#include <string>
#include <vector>

#include "core/settings/folder_files.h"
#include "services/archive/sqlite/sqlite_db.h"

namespace tev::archive {

inline constexpr const char* kDamagedSuffix = ".damaged";
// The schema this program writes; older files are brought up to it at start.
inline constexpr int kArchiveSchemaVersion = 2;

std::string archivePath(const std::string& folder);

// Opens the archive for writing: a damaged file (one that fails PRAGMA quick_check or is not
// a database) is moved aside with the ".damaged" suffix and a new one is started; the schema is
// created or migrated; WAL mode with synchronous=NORMAL. Lines for the event log go to `log`.
// Returns a closed connection when the file cannot be opened or written.
SqliteDb openArchiveForWriting(const std::string& path, std::vector<std::string>& log);

// Brings the schema from its user_version up to kArchiveSchemaVersion, one step per version,
// each step in its own transaction. False (with `error`) for a file of a newer program.
bool migrateArchive(SqliteDb& db, std::string& error);

// The column list of the minute, hour and day tables after (meter, t).
const std::vector<std::string>& periodColumns();

}  // namespace tev::archive
