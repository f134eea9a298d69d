// Why a folder lock could not be taken decides whether the program starts: only a live
// program in the folder, or a lock that fails for no reason of the folder, stops it.

#include "app/folder_lock.h"

#include <gtest/gtest.h>

namespace tev::app {
namespace {

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

}  // namespace
}  // namespace tev::app
