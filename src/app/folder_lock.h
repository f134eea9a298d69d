#pragma once

#include <QLockFile>
#include <QString>
#include <QWidget>
#include <string>

#include "core/texts/event_log.h"

namespace tev::app {

// Two programs in one folder would overwrite each other's records and settings files, so the
// folder is locked for the whole run. A lock that cannot be taken has different causes, and
// only one of them means another program is at work.

// What was found out about a lock that could not be taken.
struct FolderLockFacts {
    enum class Error { None, Held, Permission, Other };
    Error error = Error::None;
    long long holderPid = 0;     // the process named in an existing lock file
    bool holderAlive = false;    // that process runs (or cannot be checked: another host)
    bool folderWritable = true;  // a file can be made in the folder
    std::string reason;          // the system's words for what failed
};

enum class FolderLockVerdict {
    Locked,         // ours for the run
    ReadOnly,       // nothing can be saved here: start, load, and say so once
    HeldByAnother,  // a live program keeps its records here: end with status 1
    Failed,         // the lock cannot be taken for another reason: end with status 1
};

struct FolderLockDecision {
    FolderLockVerdict verdict = FolderLockVerdict::Locked;
    std::string message;  // for the user, empty when locked
    bool starts() const {
        return verdict == FolderLockVerdict::Locked || verdict == FolderLockVerdict::ReadOnly;
    }
};

FolderLockDecision decideFolderLock(const FolderLockFacts& facts, const std::string& folder);

// The lock file ".tev3p.lock" in the folder, held until the object goes.
class FolderLock {
  public:
    explicit FolderLock(const QString& folder);
    FolderLockDecision acquire();

  private:
    QString folder_;
    QLockFile lock_;
};

// Tells the user on standard error, and, for a lock that ends the program, in a message box
// when there is a display to show it.
void tellFolderLockProblem(const FolderLockDecision& decision, bool display);

// A read-only start, said once: in the event log, and in a message box over `window` (when
// there is a display to show one) as soon as the event loop runs.
void tellReadOnlyFolder(const FolderLockDecision& decision, EventLog& log, const std::string& stamp,
                        QWidget* window);

}  // namespace tev::app
