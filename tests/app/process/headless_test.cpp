#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include "core/persistence/records_image.h"
#include "core/persistence/settings_file.h"
#include "tests/app/program_process.h"
#include "tests/support/qt_application.h"

namespace tev::app {
namespace {

TEST(Headless, StartsListensRecordsAMeterAndSavesBothFilesOnSigterm) {
    testing::qtApplication();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    testing::HeadlessProgram program;
    ASSERT_TRUE(program.start(folder.path())) << program.output.toStdString();
    ASSERT_GT(program.meterPort, 0);

    // Thirty readings 50 ms apart: the one-second tick rolls them into the live rows.
    EXPECT_EQ(testing::runSimulator(program.meterPort, 30), 0);

    program.signal(SIGTERM);
    ASSERT_TRUE(program.finish());
    EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_TRUE(program.output.contains("Save HOQ TEV3P records= 記錄儲存 OK !"));
    EXPECT_EQ(QFileInfo(folder.filePath("TEV3P_Records.dat")).size(),
              static_cast<qint64>(kRecordsFileSize));
    EXPECT_EQ(QFileInfo(folder.filePath("TEV3P_Environ.dat")).size(),
              static_cast<qint64>(kSettingsFileSize));
    MeasurementStore store;
    ASSERT_TRUE(readRecordsFile(folder.filePath("TEV3P_Records.dat").toStdString(), store).ok);
    const ScaleTable& minutes = store.table(TimeScale::Min);
    EXPECT_GT(minutes.date(minutes.cnt), 0);
    EXPECT_GT(minutes.value(kColV1, minutes.cnt), 200.0f);
    EXPECT_GT(minutes.value(kColWatt, minutes.cnt), 0.0f);
    // The lock of the folder is given back.
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(".tev3p.lock")));
}

// An alert still running when the program stops ends with the stop, in the log (and with it
// the archive's alert history): a restart finds no start without its end.
TEST(Headless, AStopEndsTheAlertsStillRunning) {
    testing::qtApplication();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile ini(folder.filePath("tev3p.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[alerts]\ncurrent_max=0.01\ncurrent_seconds=0\n");
    ini.close();
    testing::HeadlessProgram program;
    ASSERT_TRUE(program.start(folder.path())) << program.output.toStdString();
    EXPECT_EQ(testing::runSimulator(program.meterPort, 3), 0);
    ASSERT_TRUE(program.waitForText("Alert start: meter ")) << program.output.toStdString();
    EXPECT_FALSE(program.output.contains("Alert end: meter "));
    program.signal(SIGTERM);
    ASSERT_TRUE(program.finish());
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_EQ(program.output.count("Alert start: meter "),
              program.output.count("Alert end: meter "))
        << program.output.toStdString();
}

TEST(Headless, PlaysItsTonesToNothingAndNeverContactsASoundServer) {
    testing::qtApplication();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    testing::HeadlessProgram program;
    // A sound server that is not there: opening a sound output would say so on stderr.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", "unix:" + folder.filePath("no-sound-server"));
    program.process.setProcessEnvironment(env);
    ASSERT_TRUE(program.start(folder.path())) << program.output.toStdString();

    // The first data message and the save at the stop both beep.
    EXPECT_EQ(testing::runSimulator(program.meterPort, 3), 0);
    program.signal(SIGTERM);
    ASSERT_TRUE(program.finish());
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_TRUE(program.output.contains("Save HOQ TEV3P records= 記錄儲存 OK !"));
    const QString errors = QString::fromUtf8(program.process.readAllStandardError());
    EXPECT_FALSE(errors.contains("pa_context", Qt::CaseInsensitive)) << errors.toStdString();
    EXPECT_FALSE(errors.contains("PulseAudio", Qt::CaseInsensitive)) << errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder.filePath("no-sound-server")));
}

TEST(Headless, BadOptionsEndTheProgramWithStatusTwoBeforeAnyFileIsTouched) {
    testing::qtApplication();
    QTemporaryDir folder;
    QProcess p;
    p.setWorkingDirectory(folder.path());
    p.start(TEV3P_PATH, {"--headless", "--port", "99999"});
    ASSERT_TRUE(p.waitForFinished(testing::kProcessWaitMs));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains("99999"));
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

}  // namespace
}  // namespace tev::app
