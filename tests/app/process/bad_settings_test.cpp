#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/app/program_process.h"
#include "tests/support/qt_application.h"

namespace tev::app {
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

// A Latin-1 byte in a group whose bad settings refuse the start is told with its line, and the
// program ends with status 2 before it touches any file.
TEST(BadSettings, TextThatIsNotUtf8IsToldWithItsLineAndRefusesTheStart) {
    testing::qtApplication();
    const struct {
        QByteArray ini;
        QString told;
    } cases[] = {
        {"[fleet]\nurl=postgresql://127.0.0.1:1/fleet\nsite=caf\xE9\n",
         "[fleet] line 3 of tev3p.ini is not UTF-8 text"},
        {"; prices\n[mqtt]\nhost=127.0.0.1\r\nprefix=h\xF6me\r\n",
         "[mqtt] line 4 of tev3p.ini is not UTF-8 text"},
        {"[meters]\nallow=REAL00000001,\xFF\n", "[meters] line 2 of tev3p.ini is not UTF-8 text"},
    };
    for (const auto& c : cases) {
        QTemporaryDir folder;
        QFile ini(folder.filePath("tev3p.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(c.ini);
        ini.close();
        const ProgramRun r = runProgram(folder.path(), {});
        EXPECT_EQ(r.status, 2) << c.ini.toStdString();
        EXPECT_TRUE(r.errors.contains(c.told)) << r.errors.toStdString();
        EXPECT_TRUE(r.errors.contains("not UTF-8 text; the line is left out"))
            << r.errors.toStdString();
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"tev3p.ini"});
    }
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
}  // namespace tev::app
