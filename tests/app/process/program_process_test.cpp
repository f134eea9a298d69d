#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>

#include "core/persistence/atomic_file.h"
#include "core/persistence/records_image.h"

namespace tev::app {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::string error;
    bool missing = false;
    return readWholeFile(path, error, missing);
}

class ProgramProcess : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    std::unique_ptr<QProcess> start() {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(folder.path());
        p->start(TEV3P_PATH, {});
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }
    // Waits until the program's standard output holds `text`.
    static bool waitForOutput(QProcess& p, QByteArray& seen, const char* text) {
        for (int i = 0; i < 200 && !seen.contains(text); ++i) {
            p.waitForReadyRead(100);
            seen += p.readAllStandardOutput();
        }
        return seen.contains(text);
    }
    std::string path(const char* name) const {
        return QDir(folder.path()).filePath(name).toStdString();
    }

    QTemporaryDir folder;
};

TEST_F(ProgramProcess, SecondProgramInTheSameFolderEndsWithAnErrorAndSigtermSavesBothFiles) {
    auto stored = std::make_unique<MeasurementStore>();
    stored->table(TimeScale::Day).cnt = 6;
    ASSERT_TRUE(writeRecordsFile(path("TEV3P_Records.dat"), *stored).ok);
    const auto before = bytesOf(path("TEV3P_Records.dat"));

    auto first = start();
    QByteArray out;
    ASSERT_TRUE(waitForOutput(*first, out, "TEV3P Startup")) << out.toStdString();
    EXPECT_TRUE(out.contains("Day= 6"));

    auto second = start();
    ASSERT_TRUE(second->waitForFinished(15000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_NE(second->exitCode(), 0);
    EXPECT_TRUE(
        second->readAllStandardError().contains("is in use by another TEV3P power monitor"));
    EXPECT_FALSE(second->readAllStandardOutput().contains("Startup"));
    EXPECT_EQ(bytesOf(path("TEV3P_Records.dat")), before);
    EXPECT_FALSE(fs::exists(path("TEV3P_Environ.dat")));

    ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
    ASSERT_TRUE(first->waitForFinished(15000));
    out += first->readAllStandardOutput();
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_TRUE(out.contains("Save TEV setting")) << out.toStdString();
    EXPECT_TRUE(out.contains("Save HOQ TEV3P records= 記錄儲存 OK !"));
    EXPECT_EQ(fs::file_size(path("TEV3P_Environ.dat")), 192u);
    EXPECT_EQ(fs::file_size(path("TEV3P_Records.dat")), kRecordsFileSize);
    EXPECT_FALSE(fs::exists(path(".tev3p.lock")));

    // The folder is free again, and the next start finds the history.
    auto third = start();
    QByteArray again;
    EXPECT_TRUE(waitForOutput(*third, again, "TEV3P Startup"));
    EXPECT_TRUE(again.contains("Day= 6"));
    ::kill(static_cast<pid_t>(third->processId()), SIGINT);
    ASSERT_TRUE(third->waitForFinished(15000));
    EXPECT_EQ(third->exitCode(), 0);
}

}  // namespace
}  // namespace tev::app
