// The real program, run as an ordinary user, in a folder whose settings file it may not read.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/persistence/atomic_file.h"
#include "core/persistence/settings_file.h"
#include "tests/app/program_process.h"
#include "tests/support/qt_application.h"

namespace tev::app {
namespace {

namespace fs = std::filesystem;

TEST(UnreadableSettings, AreMovedAsideWithOneFailLineAndTheSaveLeavesTheMovedFileAlone) {
    testing::qtApplication();
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr) << "the test runs the program as the user nobody";
    char pattern[] = "/tmp/tev-unreadable-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    const std::string settings = folder + "/TEV3P_Environ.dat";
    SettingsValues v;
    v.TotalKWh = 98765.5f;
    const auto image = encodeSettings(v);
    ASSERT_EQ(writeFileAtomically(settings, image), "");
    ASSERT_EQ(::chmod(settings.c_str(), 0), 0);

    testing::HeadlessProgram program;
    const uid_t uid = root ? nobody->pw_uid : ::geteuid();
    const gid_t gid = root ? nobody->pw_gid : ::getegid();
    program.process.setChildProcessModifier([uid, gid] {
        if (::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(99);
    });
    ASSERT_TRUE(program.start(QString::fromStdString(folder))) << program.output.toStdString();
    ASSERT_TRUE(program.waitForText("TEV3P Startup")) << program.output.toStdString();
    EXPECT_EQ(program.output.count("Load TEV setting"), 1) << program.output.toStdString();
    EXPECT_TRUE(program.output.contains(
        "Load TEV setting 載入用戶設定 fail: cannot open: Permission denied !"));
    EXPECT_TRUE(
        program.output.contains("it could not be copied (cannot open: Permission "
                                "denied), the file is moved to <" +
                                QString::fromStdString(settings) + ".damaged> !"))
        << program.output.toStdString();

    program.signal(SIGTERM);
    ASSERT_TRUE(program.finish());
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_EQ(fs::file_size(settings), kSettingsFileSize);
    // The accounts are still there, in the file moved aside.
    ::chmod((settings + ".damaged").c_str(), 0600);
    std::string error;
    bool missing = false;
    const auto kept = readWholeFile(settings + ".damaged", error, missing);
    EXPECT_EQ(kept, std::vector<std::uint8_t>(image.begin(), image.end()));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace tev::app
