// Why a folder lock could not be taken decides whether the program starts: only a live
// program in the folder, or a lock that fails for no reason of the folder, stops it.

#include "app/folder_lock.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <filesystem>

#include "core/persistence/atomic_file.h"
#include "core/persistence/records_image.h"
#include "core/persistence/settings_file.h"
#include "tests/app/program_process.h"
#include "tests/support/qt_application.h"

namespace tev::app {
namespace {

namespace fs = std::filesystem;
using Error = FolderLockFacts::Error;

FolderLockFacts facts(Error error, bool alive, bool writable, std::string reason = {}) {
    FolderLockFacts f;
    f.error = error;
    f.holderPid = 4242;
    f.holderAlive = alive;
    f.folderWritable = writable;
    f.reason = std::move(reason);
    return f;
}

TEST(FolderLockDecision, OnlyALiveHolderIsCalledAnotherProgram) {
    const auto held = decideFolderLock(facts(Error::Held, true, true), "/data");
    EXPECT_EQ(held.verdict, FolderLockVerdict::HeldByAnother);
    EXPECT_FALSE(held.starts());
    EXPECT_EQ(held.message,
              "The folder /data is in use by another TEV3P power monitor (process 4242). Only "
              "one program may keep its records in a folder; this one ends without touching "
              "its files.");

    // A lock file left behind on read-only media, or a folder of another user.
    for (const Error e : {Error::Held, Error::Permission}) {
        const auto ro = decideFolderLock(facts(e, false, false, "Read-only file system"), "/cd");
        EXPECT_EQ(ro.verdict, FolderLockVerdict::ReadOnly);
        EXPECT_TRUE(ro.starts());
        EXPECT_EQ(ro.message,
                  "The folder /cd cannot be written (Read-only file system): its records are "
                  "shown, but nothing will be saved in this folder.");
    }
    // A live holder in a folder this user cannot write still stops the program.
    EXPECT_EQ(decideFolderLock(facts(Error::Held, true, false), "/d").verdict,
              FolderLockVerdict::HeldByAnother);

    const auto other =
        decideFolderLock(facts(Error::Other, false, true, "Too many open files"), "/d");
    EXPECT_EQ(other.verdict, FolderLockVerdict::Failed);
    EXPECT_FALSE(other.starts());
    EXPECT_NE(other.message.find(".tev3p.lock: Too many open files"), std::string::npos);
    EXPECT_EQ(
        decideFolderLock(facts(Error::Permission, false, true, "Permission denied"), "/d").verdict,
        FolderLockVerdict::Failed);
    EXPECT_EQ(decideFolderLock(facts(Error::None, false, true), "/d").verdict,
              FolderLockVerdict::Locked);
}

TEST(FolderLockDecision, AReadOnlyFolderStartsShowsItsDataAndReportsEverySaveAsFailed) {
    testing::qtApplication();
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr) << "the test runs the program as the user nobody";
    char pattern[] = "/tmp/tev-readonly-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    // Readable by everyone, writable by its owner only: another user's folder.
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    auto stored = std::make_unique<MeasurementStore>();
    stored->table(TimeScale::Hour).cnt = 42;
    const std::string records = folder + "/TEV3P_Records.dat";
    ASSERT_TRUE(writeRecordsFile(records, *stored).ok);
    std::string error;
    bool missing = false;
    const auto before = readWholeFile(records, error, missing);

    testing::HeadlessProgram program;
    const uid_t uid = ::geteuid() == 0 ? nobody->pw_uid : ::geteuid();
    const gid_t gid = ::geteuid() == 0 ? nobody->pw_gid : ::getegid();
    if (::geteuid() != 0) ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    program.process.setChildProcessModifier([uid, gid] {
        if (::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(99);
    });
    ASSERT_TRUE(program.start(QString::fromStdString(folder)))
        << program.output.toStdString() << program.process.readAllStandardError().toStdString();
    ASSERT_TRUE(program.waitForText("TEV3P Startup")) << program.output.toStdString();
    EXPECT_TRUE(program.output.contains("Hour= 42"));
    EXPECT_EQ(program.output.count("nothing will be saved in this folder"), 1)
        << program.output.toStdString();
    EXPECT_TRUE(program.process.readAllStandardError().contains(
        "cannot be written (Permission denied): its records are shown"));

    program.signal(SIGTERM);
    ASSERT_TRUE(program.finish());
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_TRUE(
        program.output.contains("Save TEV setting 用戶設定儲存 fail: cannot create: "
                                "Permission denied !"))
        << program.output.toStdString();
    EXPECT_TRUE(program.output.contains(
        "Save HOQ TEV3P records= 記錄儲存 fail: cannot create: Permission denied !"));
    EXPECT_FALSE(program.output.contains("記錄儲存 OK"));
    EXPECT_EQ(readWholeFile(records, error, missing), before);
    EXPECT_FALSE(fs::exists(folder + "/TEV3P_Environ.dat"));
    ::chmod(folder.c_str(), 0755);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace tev::app
