#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QRegularExpression>
#include <QTcpSocket>
#include <csignal>
#include <fstream>
#include <memory>

#include "tests/app/program_process.h"
#include "tests/services/fleet/postgres/fleet_rows.h"
#include "tests/services/fleet/postgres/postgres_fixture.h"

namespace tev::fleet {
namespace {

using tev::testing::HeadlessProgram;
using tev::testing::PostgresServer;
using tev::testing::waitUntil;

constexpr int kRecorders = 3;
constexpr int kMessagesPerMeter = 60;

// A recorder's folder whose tev3p.ini ships to the database under a site of its own.
std::string recorderFolder(const QTemporaryDir& dir, const PostgresServer& server,
                           const std::string& site) {
    const std::string folder = dir.path().toStdString();
    std::ofstream(folder + "/pg.pw") << testing::kPostgresPassword << "\n";
    ::chmod((folder + "/pg.pw").c_str(), 0600);
    std::ofstream(folder + "/tev3p.ini")
        << "[fleet]\nurl=" << server.url("fleet") << "\npassword_file=pg.pw\nsite=" << site << "\n";
    return folder;
}

// hoq-sim with two meters against a recorder, until it has sent its messages.
std::unique_ptr<QProcess> startSimulator(int port) {
    auto sim = std::make_unique<QProcess>();
    sim->start(HOQ_SIM_PATH, {"--port", QString::number(port), "--meters", "2", "--count",
                              QString::number(kMessagesPerMeter), "--interval", "50"});
    return sim;
}

std::string metricsOf(const QString& output) {
    const auto m = QRegularExpression("Web dashboard http://127.0.0.1:(\\d+)/").match(output);
    if (!m.hasMatch()) return {};
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, m.captured(1).toUShort());
    if (!s.waitForConnected(testing::kProcessWaitMs)) return {};
    s.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1:" + m.captured(1).toLatin1() +
            "\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    while (s.waitForReadyRead(testing::kProcessWaitMs)) answer += s.readAll();
    return answer.toStdString();
}

TEST(FleetProgram, ThreeRecordersShareOneDatabaseThroughItsCrashAndAKilledRecorder) {
    if (!PostgresServer::installed()) GTEST_FAIL() << "PostgreSQL is not installed";
    PostgresServer server;
    ASSERT_TRUE(server.start()) << server.log();
    ASSERT_TRUE(server.createDatabase("fleet"));
    QTemporaryDir dirs[kRecorders];
    std::string folders[kRecorders], sites[kRecorders];
    HeadlessProgram programs[kRecorders];
    for (int i = 0; i < kRecorders; ++i) {
        // Sites as users write them: a semicolon and a comma are part of the name.
        sites[i] = i == 0 ? "hall;2" : i == 1 ? "north, hall 2" : "site-" + std::to_string(i + 1);
        folders[i] = recorderFolder(dirs[i], server, sites[i]);
        ASSERT_TRUE(programs[i].start(dirs[i].path(), {"--http", "127.0.0.1:0"}))
            << programs[i].output.toStdString();
    }
    auto feedAll = [&] {
        std::vector<std::unique_ptr<QProcess>> sims;
        for (auto& p : programs) sims.push_back(startSimulator(p.meterPort));
        return sims;
    };
    auto finish = [](std::vector<std::unique_ptr<QProcess>>& sims) {
        for (auto& s : sims) ASSERT_TRUE(s->waitForFinished(testing::kProcessWaitMs));
    };
    auto sims = feedAll();
    finish(sims);
    for (auto& p : programs)
        ASSERT_TRUE(p.waitForText("Fleet: shipping to PostgreSQL")) << p.output.toStdString();

    // The database crashes; the recorders record on, and one of them is killed while it ships.
    ASSERT_TRUE(server.stop("immediate"));
    sims = feedAll();
    ASSERT_TRUE(programs[2].waitForText("HOQ"));
    programs[2].signal(SIGKILL);
    programs[2].finish();
    finish(sims);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(programs[i].waitForText(" stopped (")) << programs[i].output.toStdString();
    ASSERT_TRUE(server.start()) << server.log();
    HeadlessProgram restarted;
    ASSERT_TRUE(restarted.start(dirs[2].path())) << restarted.output.toStdString();
    auto last = std::vector<std::unique_ptr<QProcess>>();
    last.push_back(startSimulator(restarted.meterPort));
    finish(last);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(programs[i].waitForText("rows had waited in the archive"))
            << programs[i].output.toStdString();

    // Every row of every recorder's archive is in the database under its site, once, with
    // equal values: the minute, hour and day still open are sent again until they match.
    PgConnection db;
    ASSERT_TRUE(server.connect(db, "fleet"));
    const char* tables[] = {"minutes", "hours", "days"};
    const bool converged = waitUntil([&] {
        for (int i = 0; i < kRecorders; ++i)
            for (const char* table : tables) {
                const auto local = testing::localRows(folders[i], table);
                if (local.size() < 2 ||
                    !testing::sameRows(local, testing::fleetRows(db, sites[i], table)))
                    return false;
            }
        return true;
    });
    EXPECT_TRUE(converged) << programs[0].output.toStdString() << restarted.output.toStdString();
    EXPECT_EQ(testing::countOf(db, "SELECT count(DISTINCT site) FROM minutes"), kRecorders);
    EXPECT_EQ(testing::countOf(db, "SELECT count(*) FROM meters"), 2 * kRecorders);
    // One line per outage, and the metrics say the sink is up with nothing waiting.
    EXPECT_EQ(programs[0].output.count(" stopped ("), 1) << programs[0].output.toStdString();
    const std::string metrics = metricsOf(programs[0].output);
    EXPECT_NE(metrics.find("\ntev3p_fleet_up 1\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("\ntev3p_fleet_backlog_rows 0\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("\ntev3p_fleet_last_shipped_timestamp_seconds 1"), std::string::npos);
    // The killed recorder's process is gone: only the running ones are stopped.
    for (HeadlessProgram* p : {&programs[0], &programs[1], &restarted}) {
        p->signal(SIGTERM);
        EXPECT_TRUE(p->finish());
    }
}

TEST(FleetProgram, NoOutputEverShowsThePasswordInAnyFormTheUrlTakesIt) {
    if (!PostgresServer::installed()) GTEST_FAIL() << "PostgreSQL is not installed";
    PostgresServer server;
    ASSERT_TRUE(server.start()) << server.log();
    ASSERT_TRUE(server.createDatabase("fleet"));
    const std::string secret = testing::kPostgresPassword;
    const std::string at = "127.0.0.1:" + std::to_string(server.port());
    struct Case {
        std::string url;
        const char* told;  // the line that shows the sink ran
    };
    const Case cases[] = {
        {"postgresql://tev:" + secret + "@" + at + "/fleet", "rows waiting in the archive"},
        {"postgresql://tev@" + at + "/fleet?password=" + secret, "rows waiting in the archive"},
        {"host=127.0.0.1\tport=" + std::to_string(server.port()) +
             "\tdbname=fleet\tuser=tev\tpassword=" + secret,
         "rows waiting in the archive"},
        // libpq refuses the key's case: the sink stops, and says so without the password.
        {"postgresql://tev@" + at + "/fleet?sslmode=disable&Password=" + secret, " stopped ("},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        std::ofstream(folder + "/tev3p.ini") << "[fleet]\nurl=" << c.url << "\nsite=hall\n";
        HeadlessProgram program;
        ASSERT_TRUE(program.start(dir.path(), {"--http", "127.0.0.1:0"}))
            << program.output.toStdString();
        ASSERT_TRUE(program.waitForText(c.told)) << c.url << program.output.toStdString();
        const std::string metrics = metricsOf(program.output);
        EXPECT_NE(metrics.find("tev3p_fleet_up"), std::string::npos) << metrics;
        program.signal(SIGTERM);
        EXPECT_TRUE(program.finish());
        std::string everything = program.output.toStdString() + metrics +
                                 program.process.readAllStandardError().toStdString();
        for (const auto& f : std::filesystem::recursive_directory_iterator(folder))
            if (f.is_regular_file() && f.path().filename() != "tev3p.ini" &&
                f.path().string().find(".sqlite") == std::string::npos)
                everything += std::string(
                    std::istreambuf_iterator<char>(std::ifstream(f.path()).rdbuf()), {});
        EXPECT_EQ(everything.find(secret), std::string::npos) << c.url << "\n" << everything;
        EXPECT_NE(everything.find("PostgreSQL postgresql://" + at + "/fleet"), std::string::npos)
            << c.url << "\n"
            << program.output.toStdString();
    }
}

}  // namespace
}  // namespace tev::fleet
