#include <gtest/gtest.h>

#include <QTcpServer>

#include "tests/app/program_process.h"
#include "tests/support/qt_application.h"

namespace tev::app {
namespace {

// A port another program holds ends the start with status 1 and a line on standard error and
// standard output naming the port and its holder (this test process, which /proc shows).
TEST(TakenPort, EndsTheStartWithStatusOneAndNamesThePortAndItsHolder) {
    testing::qtApplication();
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
    const QString port = QString::number(holder.serverPort());
    const QString held = "port " + port;
    const struct {
        QStringList options;
        QString what;
    } cases[] = {
        {{"--port", port, "--second-port", "0"}, "(meters)"},
        {{"--port", "0", "--second-port", port}, "(second port)"},
        {{"--port", "0", "--second-port", "0", "--http", "127.0.0.1:" + port}, "(web dashboard)"},
    };
    const QString self = "held by app_process_tes";  // the comm name is cut at 15 bytes
    for (const auto& c : cases) {
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        QProcess program;
        program.setWorkingDirectory(folder.path());
        program.start(TEV3P_PATH, QStringList{"--headless", "--listen", "127.0.0.1"} + c.options);
        ASSERT_TRUE(program.waitForFinished(testing::kProcessWaitMs)) << c.what.toStdString();
        const QString err = QString::fromUtf8(program.readAllStandardError());
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 1) << err.toStdString();
        EXPECT_TRUE(err.contains(held + " " + c.what + " is taken, " + self)) << err.toStdString();
        EXPECT_TRUE(out.contains(held + " " + c.what + " is taken")) << out.toStdString();
        EXPECT_FALSE(out.contains("headless in")) << out.toStdString();
    }
}

}  // namespace
}  // namespace tev::app
