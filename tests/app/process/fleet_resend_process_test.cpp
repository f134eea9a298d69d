#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <fstream>

#include "services/archive/sqlite/archive_file.h"
#include "tests/app/program_process.h"

namespace tev::app {
namespace {

// `tev3p fleet-resend` with a bad option, or on a folder whose archive is missing, is no
// database or never shipped to a fleet database: one line on standard error, none on standard
// output, status 2.
TEST(FleetResend, BadOptionsAndArchivesThatNeverShippedEndWithOneLineAndStatusTwo) {
    enum class Archive { None, NotADatabase, NeverShipped };
    struct Case {
        Archive archive;
        QStringList arguments;
        const char* told;  // %1: the folder
    };
    const Case cases[] = {
        {Archive::NeverShipped, {}, "--from TIME is needed"},
        {Archive::NeverShipped,
         {"--from", "yesterday"},
         "--from yesterday is not an ISO 8601 time such as 2026-12-08T10:00"},
        {Archive::None, {"--from", "2026-12-08"}, "TEV3P_Archive.sqlite is not in %1"},
        {Archive::NotADatabase,
         {"--from", "2026-12-08"},
         "TEV3P_Archive.sqlite: file is not a database"},
        {Archive::NeverShipped,
         {"--from", "2026-12-08T10:00Z"},
         "TEV3P_Archive.sqlite in %1 has never shipped to a fleet database (it has no outbox "
         "marks)"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const std::string path = archive::archivePath(dir.path().toStdString());
        if (c.archive == Archive::NotADatabase) std::ofstream(path) << "no archive\n";
        std::vector<std::string> log;
        if (c.archive == Archive::NeverShipped) {
            ASSERT_TRUE(archive::openArchiveForWriting(path, log).isOpen());
        }
        QProcess p;
        p.start(TEV3P_PATH, QStringList{"fleet-resend", "--folder", dir.path()} + c.arguments);
        ASSERT_TRUE(p.waitForFinished(testing::kProcessWaitMs));
        EXPECT_EQ(p.exitCode(), 2) << c.told;
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardError()),
                  "tev3p fleet-resend: " + QString(c.told).replace("%1", dir.path()) + "\n");
        EXPECT_EQ(p.readAllStandardOutput(), "");
    }
}

}  // namespace
}  // namespace tev::app
