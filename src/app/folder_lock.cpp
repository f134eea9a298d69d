#include "app/folder_lock.h"

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QMessageBox>
#include <QSysInfo>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/settings/folder_files.h"

namespace tev::app {
namespace {

std::string nativeFolder(const std::string& folder) {
    return QDir::toNativeSeparators(QString::fromStdString(folder)).toStdString();
}

bool processRuns(long long pid) {
    if (pid <= 0) return false;
    // EPERM: it runs, as another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

FolderLockDecision decideFolderLock(const FolderLockFacts& facts, const std::string& folder) {
    using Error = FolderLockFacts::Error;
    FolderLockDecision d;
    const std::string where = nativeFolder(folder);
    if (facts.error == Error::None) return d;
    if (facts.error == Error::Held && facts.holderAlive) {
        d.verdict = FolderLockVerdict::HeldByAnother;
        d.message = "The folder " + where + " is in use by another TEV3P power monitor" +
                    (facts.holderPid > 0 ? " (process " + std::to_string(facts.holderPid) + ")"
                                         : std::string()) +
                    ". Only one program may keep its records in a folder; this one ends without "
                    "touching its files.";
        return d;
    }
    // A lock file left by a program that is gone, or none at all, in a folder nobody can write
    // to: read-only media, a folder of another user. Nothing could be saved, so nothing can be
    // overwritten either: show what is there.
    if (!facts.folderWritable && (facts.error == Error::Held || facts.error == Error::Permission)) {
        d.verdict = FolderLockVerdict::ReadOnly;
        d.message = "The folder " + where + " cannot be written (" + facts.reason +
                    "): its records are shown, but nothing will be saved in this folder.";
        return d;
    }
    d.verdict = FolderLockVerdict::Failed;
    d.message = "The folder " + where + " cannot be locked for this program: " + kLockFileName +
                ": " + (facts.reason.empty() ? std::string("unknown error") : facts.reason) +
                ". This one ends without touching its files.";
    return d;
}

FolderLock::FolderLock(const QString& folder)
    : folder_(folder), lock_(QDir(folder).filePath(kLockFileName)) {
    // The lock is held for weeks: it counts as stale only when its process is gone.
    lock_.setStaleLockTime(0);
}

FolderLockDecision FolderLock::acquire() {
    using Error = FolderLockFacts::Error;
    FolderLockFacts facts;
    errno = 0;
    if (lock_.tryLock(0)) return decideFolderLock(facts, folder_.toStdString());
    const int lockErrno = errno;
    switch (lock_.error()) {
        case QLockFile::LockFailedError:
            facts.error = Error::Held;
            break;
        case QLockFile::PermissionError:
            facts.error = Error::Permission;
            break;
        default:
            facts.error = Error::Other;
            break;
    }
    facts.reason = lockErrno != 0 ? std::strerror(lockErrno) : std::string();
    if (facts.error == Error::Held) {
        qint64 pid = 0;
        QString host, appName;
        lock_.getLockInfo(&pid, &host, &appName);
        facts.holderPid = pid;
        // A folder shared with another machine: its program cannot be checked from here.
        const bool otherHost = !host.isEmpty() && host != QSysInfo::machineHostName();
        facts.holderAlive = otherHost || processRuns(pid);
    }
    const std::string folder = folder_.toStdString();
    if (::access(folder.c_str(), W_OK) != 0) {
        facts.folderWritable = false;
        facts.reason = std::strerror(errno);
    }
    return decideFolderLock(facts, folder);
}

void tellFolderLockProblem(const FolderLockDecision& decision, bool display) {
    if (decision.message.empty()) return;
    std::fprintf(stderr, "tev3p: %s\n", decision.message.c_str());
    // A read-only start is told once the window runs (tellReadOnlyFolder), so that the meters
    // are served while the box waits for the user.
    if (display && !decision.starts())
        QMessageBox::critical(nullptr, "TEV3P", QString::fromStdString(decision.message));
}

void tellReadOnlyFolder(const FolderLockDecision& decision, EventLog& log, const std::string& stamp,
                        QWidget* window) {
    if (decision.verdict != FolderLockVerdict::ReadOnly) return;
    log.append(stamp + " " + decision.message);
    if (window == nullptr) return;
    // Not modal in a loop of its own: the meters are served, and a stop signal still ends the
    // program, while the box waits for the user.
    auto* box = new QMessageBox(QMessageBox::Warning, "TEV3P",
                                QString::fromStdString(decision.message), QMessageBox::Ok, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QTimer::singleShot(0, box, [box] { box->open(); });
}

}  // namespace tev::app
