#include <gtest/gtest.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>
#include <memory>
#include <vector>

#include "core/persistence/records_image.h"
#include "core/persistence/settings_file.h"
#include "tests/app/program_process.h"
#include "tests/support/qt_application.h"

namespace tev::app {
namespace {

// A SIGTERM while the dashboard's archive readers hold the widest requests a client may send
// (and two it may not) still ends the program with status 0 and both files saved; the two
// refused requests are answered 400 at once instead of holding a reader.
TEST(StopWhileReading, SigtermDuringTheWidestArchiveRequestsEndsCleanly) {
    testing::qtApplication();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    testing::HeadlessProgram program;
    ASSERT_TRUE(program.start(folder.path(), {"--http", "127.0.0.1:0"}))
        << program.output.toStdString();
    const QRegularExpression urlLine("Web dashboard http://127\\.0\\.0\\.1:(\\d+)");
    int port = 0;
    ASSERT_TRUE(program.waitForOutput([&] {
        const auto m = urlLine.match(program.output);
        if (m.hasMatch()) port = m.captured(1).toInt();
        return m.hasMatch();
    })) << program.output.toStdString();
    EXPECT_EQ(testing::runSimulator(program.meterPort, 10), 0);

    const char* targets[] = {
        "/api/v1/meters/XXXXXXXXXXXX/energy?period=day&from=-9223372036854775808"
        "&to=9223372036854775807",
        "/api/v1/meters/XXXXXXXXXXXX/energy?period=month&from=-9223372036854775808"
        "&to=9223372036854775807",
        "/api/v1/meters/XXXXXXXXXXXX/energy?period=day&from=2024-01-01&to=2026-12-31",
        "/api/v1/meters/XXXXXXXXXXXX/export.csv?resolution=minute&from=0&to=7258118400"};
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 4; ++i) {
        auto s = std::make_unique<QTcpSocket>();
        // Each from an address of its own, so no per-address limit refuses one.
        s->bind(QHostAddress(QString("127.0.0.%1").arg(10 + i)), 0);
        s->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        ASSERT_TRUE(s->waitForConnected(testing::kProcessWaitMs));
        s->write(QByteArray("GET ") + targets[i] +
                 " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n\r\n");
        ASSERT_TRUE(s->waitForBytesWritten(testing::kProcessWaitMs));
        clients.push_back(std::move(s));
    }
    for (int i = 0; i < 2; ++i) {
        QByteArray got;
        ASSERT_TRUE(program.waitForOutput([&] {
            clients[i]->waitForReadyRead(100);
            got += clients[i]->readAll();
            return got.contains("\r\n\r\n");
        })) << got.toStdString();
        EXPECT_TRUE(got.startsWith("HTTP/1.1 400 ")) << got.toStdString();
    }

    program.signal(SIGTERM);
    ASSERT_TRUE(program.finish()) << program.output.toStdString();
    EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_TRUE(program.output.contains("Save HOQ TEV3P records= 記錄儲存 OK !"));
    EXPECT_EQ(QFileInfo(folder.filePath("TEV3P_Records.dat")).size(),
              static_cast<qint64>(kRecordsFileSize));
    EXPECT_EQ(QFileInfo(folder.filePath("TEV3P_Environ.dat")).size(),
              static_cast<qint64>(kSettingsFileSize));
}

}  // namespace
}  // namespace tev::app
