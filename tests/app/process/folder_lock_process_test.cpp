// A folder the program cannot write: it starts, shows the folder's records and reports every
// save as failed, leaving the files as they were.

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
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    }
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
