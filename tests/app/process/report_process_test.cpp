#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <ctime>

#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/sqlite_db.h"
#include "tests/app/program_process.h"

namespace tev::app {
namespace {

struct ReportRun {
    int status = -1;
    QString out, err;
};

ReportRun report(const QString& workingFolder, const QStringList& arguments) {
    QProcess p;
    p.setWorkingDirectory(workingFolder);
    p.start(TEV3P_PATH, QStringList{"report"} + arguments);
    ReportRun r;
    if (!p.waitForFinished(testing::kProcessWaitMs)) return r;
    r.status = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The month before this one, as "2026-11", and its first and next month's local midnights.
struct LastMonth {
    QString text;
    std::int64_t start = 0, end = 0;
};
LastMonth lastMonth() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::tm end{};
    end.tm_year = tm.tm_year;
    end.tm_mon = tm.tm_mon;
    end.tm_mday = 1;
    end.tm_isdst = -1;
    std::tm start = end;
    start.tm_mon -= 1;
    LastMonth m;
    m.end = std::mktime(&end);
    m.start = std::mktime(&start);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y-%m", &start);
    m.text = buf;
    return m;
}

// The energy the page's total line gives, in kWh.
double pageTotal(const QString& html) {
    const qsizetype row = html.indexOf("<tr class=\"total\"");
    const qsizetype unit = html.indexOf("&nbsp;kWh", row);
    const qsizetype cell = html.lastIndexOf("<td>", unit);
    if (row < 0 || unit < 0 || cell < row) return -1;
    return html.mid(cell + 4, unit - cell - 4).toDouble();
}

// `tev3p report` on a demo folder of 70 days: every bad request ends with one line and status
// 2, and last month's report holds the energy of the archive's hour rows of that month.
TEST(ReportCommand, WritesTheMonthsPageAndRefusesWhatItCannotReport) {
    QTemporaryDir work;
    const QString demo = work.path() + "/demo";
    QProcess sim;
    sim.start(HOQ_SIM_PATH, {"--write-demo", demo, "--days", "70"});
    ASSERT_TRUE(sim.waitForFinished(120000));
    ASSERT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
    const std::string archivePath = archive::archivePath(demo.toStdString());
    archive::SqliteDb db;
    ASSERT_EQ(db.open(archivePath, true, false), 0);
    std::string meter;
    {
        archive::SqliteStatement ids(db, "SELECT id FROM meters ORDER BY id");
        ASSERT_EQ(ids.step(), 100);  // SQLITE_ROW
        meter = ids.columnText(0);
    }
    const LastMonth month = lastMonth();
    double hourSum = 0;
    {
        archive::SqliteStatement sum(
            db, "SELECT total(kwh) FROM hours WHERE meter = ? AND t >= ? AND t < ?");
        sum.bind(1, meter);
        sum.bind(2, month.start);
        sum.bind(3, month.end);
        ASSERT_EQ(sum.step(), 100);
        hourSum = sum.columnDouble(0);
    }
    ASSERT_GT(hourSum, 0);

    const QString m = month.text;
    const QString id = QString::fromStdString(meter);
    struct Bad {
        QString folder;
        QStringList arguments;
        QString told;
    };
    const QString empty = work.path();
    const std::vector<Bad> bads = {
        {demo, {}, "--month YYYY-MM is needed"},
        {demo, {"--month", "2026-13"}, "--month 2026-13 is not a month such as 2026-11"},
        {demo, {"--month", m, "--colour"}, "unknown option --colour"},
        {demo, {"--month", m, "--meter"}, "--meter needs a value"},
        {empty, {"--month", m}, "TEV3P_Archive.sqlite is not in " + empty},
        {demo, {"--month", "2001-01", "--meter", id}, "meter " + id + " has no rows in 2001-01"},
        {demo,
         {"--month", m, "--meter", "ZZZ000000000"},
         "meter ZZZ000000000 is not in the archive of " + demo},
    };
    for (const Bad& b : bads) {
        const ReportRun r =
            report(work.path(), QStringList{"--folder", b.folder} + QStringList(b.arguments));
        EXPECT_EQ(r.status, 2) << b.told.toStdString();
        EXPECT_EQ(r.err, "tev3p report: " + b.told + "\n");
        EXPECT_EQ(r.out, "");
    }

    // Without --meter and --output: the archive's first meter, a file in the working folder.
    const ReportRun first = report(work.path(), {"--folder", demo, "--month", m});
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    const QString name = "TEV3P_" + id + "_report_" + m + ".html";
    EXPECT_EQ(first.out, name + "\n");
    EXPECT_TRUE(first.err.startsWith("tev3p report: meter " + id + ", the "))
        << first.err.toStdString();
    QFile page(work.path() + "/" + name);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    EXPECT_NEAR(pageTotal(html), hourSum, 0.006);
    EXPECT_FALSE(html.contains("<script"));

    // --output names the file; the bytes are the same.
    const QString other = work.path() + "/other.html";
    const ReportRun named =
        report(work.path(), {"--folder", demo, "--month", m, "--meter", id, "--output", other});
    ASSERT_EQ(named.status, 0) << named.err.toStdString();
    EXPECT_EQ(named.out, other + "\n");
    QFile second(other);
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(second.readAll()), html);
}

}  // namespace
}  // namespace tev::app
