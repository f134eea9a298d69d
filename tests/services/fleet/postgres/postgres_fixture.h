#pragma once

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <string>

#include "services/fleet/postgres/pg_connection.h"

namespace tev::testing {

inline constexpr int kPostgresWaitMs = 60000;
inline constexpr const char* kPostgresUser = "tev";
inline constexpr const char* kPostgresPassword = "fleet-secret";

// A PostgreSQL server of the test's own: initdb on a private folder, pg_ctl on 127.0.0.1 and a
// port that was free, password authentication (scram-sha-256) for the superuser "tev".
// initdb refuses root, so as root the server runs as the postgres user (nobody where there is
// none). Stop and start again keep the folder and the port; the destructor stops the server
// and removes the folder, so nothing is left running.
class PostgresServer {
  public:
    PostgresServer() {
        char pattern[] = "/tmp/tev-fleet-pg-XXXXXX";
        if (mkdtemp(pattern) != nullptr) dir_ = pattern;
    }
    ~PostgresServer() {
        if (running_) stop("immediate");
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    static std::string binary(const char* name) {
        return std::string(POSTGRES_BIN_DIR) + "/" + name;
    }
    static bool installed() { return ::access(binary("initdb").c_str(), X_OK) == 0; }

    // initdb the first time, then pg_ctl start; false (with log() saying why) when it fails.
    bool start() {
        if (dir_.empty()) return false;
        if (port_ == 0) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) return false;
            port_ = probe.serverPort();
        }
        if (!std::filesystem::exists(dir_ + "/data/PG_VERSION")) {
            const std::string pw = dir_ + "/initdb.pw";
            std::ofstream(pw) << kPostgresPassword << "\n";
            handOver(dir_);
            handOver(pw);
            if (!run({binary("initdb"), "-D", dir_ + "/data", "-U", kPostgresUser, "-A",
                      "scram-sha-256", "--pwfile", pw, "-E", "UTF8", "--locale", "C.UTF-8"}))
                return false;
        }
        // fsync=off: the server's own processes may die, the machine does not.
        const std::string options = "-p " + std::to_string(port_) + " -h 127.0.0.1 -k " + dir_ +
                                    " -c fsync=off -c max_connections=50";
        running_ = run({binary("pg_ctl"), "-D", dir_ + "/data", "-l", dir_ + "/server.log", "-o",
                        options, "-w", "-t", "60", "start"});
        if (running_ && !watched_) watchOver();
        return running_;
    }
    // pg_ctl stop with a mode: "immediate" ends every server process at once, as a crash would.
    bool stop(const char* mode = "fast") {
        running_ = false;
        return run({binary("pg_ctl"), "-D", dir_ + "/data", "-m", mode, "-w", "-t", "60", "stop"});
    }

    int port() const { return port_; }
    std::string url(const std::string& database = "postgres") const {
        return "postgresql://" + std::string(kPostgresUser) +
               "@127.0.0.1:" + std::to_string(port_) + "/" + database;
    }
    // A connection as the superuser, for the test's own queries.
    bool connect(fleet::PgConnection& db, const std::string& database = "postgres") const {
        std::string error;
        db.connect({{"dbname", url(database)}, {"password", kPostgresPassword}}, -1,
                   kPostgresWaitMs, error);
        return error.empty();
    }
    // A new empty database.
    bool createDatabase(const std::string& name) const {
        fleet::PgConnection db;
        std::string error;
        return connect(db) && db.run("CREATE DATABASE " + name, error);
    }
    std::string log() const {
        std::ifstream in(dir_ + "/server.log");
        return std::string(std::istreambuf_iterator<char>(in), {}) + output_;
    }

  private:
    // As root: who runs the server, and the files it must own.
    static const passwd* serverUser() {
        if (::geteuid() != 0) return nullptr;
        const passwd* p = ::getpwnam("postgres");
        return p != nullptr ? p : ::getpwnam("nobody");
    }
    static void handOver(const std::string& path) {
        if (const passwd* p = serverUser()) {
            [[maybe_unused]] const int rc = ::chown(path.c_str(), p->pw_uid, p->pw_gid);
        }
    }
    // A test that crashes never reaches the destructor: a watcher stops the server once the
    // test's process is gone (and ends by itself when the destructor removed the folder).
    void watchOver() {
        std::string stop = "'" + binary("pg_ctl") + "' -D '" + dir_ + "/data' -m immediate stop";
        if (const passwd* p = serverUser())
            stop = "runuser -u " + std::string(p->pw_name) + " -- " + stop;
        const std::string script =
            "while kill -0 " + std::to_string(::getpid()) + " 2>/dev/null && [ -d '" + dir_ +
            "' ]; do sleep 1; done; [ -f '" + dir_ + "/data/postmaster.pid' ] && " + stop +
            " >/dev/null 2>&1; rm -rf '" + dir_ + "'";
        watched_ = QProcess::startDetached("sh", {"-c", QString::fromStdString(script)});
    }
    bool run(const std::vector<std::string>& command) {
        QStringList args;
        QString program;
        if (const passwd* p = serverUser()) {
            program = "runuser";
            args << "-u" << p->pw_name << "--";
        }
        for (const std::string& a : command) {
            if (program.isEmpty())
                program = QString::fromStdString(a);
            else
                args << QString::fromStdString(a);
        }
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, args);
        const bool done = process.waitForFinished(kPostgresWaitMs);
        output_ += process.readAll().toStdString();
        return done && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    std::string dir_;
    int port_ = 0;
    bool running_ = false;
    bool watched_ = false;
    std::string output_;
};

// Waits for a condition, polling; true when it held in time.
template <typename Pred>
bool waitUntil(Pred pred, int timeoutMs = kPostgresWaitMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QThread::msleep(50);
    }
    return true;
}

}  // namespace tev::testing
