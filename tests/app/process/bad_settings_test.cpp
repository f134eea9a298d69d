#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/app/program_process.h"
#include "tests/support/qt_application.h"

namespace tev {
namespace {

struct ProgramRun {
    int status = -1;
    QString errors;
};

ProgramRun runProgram(const QString& folder, const QStringList& arguments) {
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(TEV3P_PATH, QStringList{"--headless", "--port", "0", "--second-port", "0", "--listen",
                                    "127.0.0.1"} +
                            arguments);
    if (!p.waitForFinished(testing::kProcessWaitMs)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardError())};
}

TEST(BadSettings, MqttPortsOutOfRangeAndImpossibleClientIdsEndTheProgramWithStatusTwo) {
    testing::qtApplication();
    for (const QString port : {"0", "70000"}) {
        QTemporaryDir folder;
        const ProgramRun r =
            runProgram(folder.path(), {"--mqtt-host", "127.0.0.1", "--mqtt-port", port});
        EXPECT_EQ(r.status, 2) << port.toStdString();
        EXPECT_TRUE(r.errors.contains("MQTT port \"" + port + "\" is not a port number 1 … 65535"))
            << r.errors.toStdString();
        EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
    }
    QTemporaryDir folder;
    QFile ini(folder.filePath("tev3p.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[mqtt]\nhost=127.0.0.1\nclient_id=" + QByteArray(70000, 'c') + "\n");
    ini.close();
    const ProgramRun r = runProgram(folder.path(), {});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.errors.contains("MQTT client_id is 70000 bytes long")) << r.errors.toStdString();
}

TEST(BadSettings, AMistypedAllowedMeterEndsTheProgramWithStatusTwo) {
    testing::qtApplication();
    QTemporaryDir folder;
    const ProgramRun r = runProgram(folder.path(), {"--allow-meter", "REAL0000001"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.errors.contains("\"REAL0000001\" is not 12 printable characters"))
        << r.errors.toStdString();
}

}  // namespace
}  // namespace tev
