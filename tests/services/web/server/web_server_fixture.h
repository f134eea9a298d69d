#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <memory>

#include "services/web/server/web_server.h"
#include "tests/support/qt_application.h"

namespace tev::testing {

// A web server on 127.0.0.1 with a free port, a store, an event log and a steady clock the test
// sets.
class WebServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtApplication();
        settings.enabled = true;
        settings.address = QHostAddress::LocalHost;
        settings.port = 0;
    }

    bool startServer() {
        WebSources sources;
        sources.store = store.get();
        sources.log = &log;
        sources.linkOn = [] { return true; };
        sources.language = [this] { return language; };
        sources.steadyMs = [this] { return nowMs; };
        sources.unixSeconds = [] { return std::int64_t{1796000000}; };
        server = std::make_unique<WebServer>(settings, std::move(sources));
        return server->start([this](const std::string& line) { logged.push_back(line); });
    }

    // Runs the event loop until `done` or five seconds have passed.
    template <typename Done>
    static bool pumpUntil(Done done, int limitMs = 5000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > limitMs) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    std::unique_ptr<QTcpSocket> connectClient() {
        auto s = std::make_unique<QTcpSocket>();
        s->connectToHost(QHostAddress::LocalHost, server->port());
        pumpUntil([&] { return s->state() == QAbstractSocket::ConnectedState; });
        return s;
    }

    // Sends `request` on a new connection and gathers what comes back until the server closes
    // the connection or a whole answer (by its Content-Length) has arrived.
    QByteArray exchange(const QByteArray& request, QTcpSocket* reuse = nullptr) {
        std::unique_ptr<QTcpSocket> own;
        QTcpSocket* s = reuse;
        if (s == nullptr) {
            own = connectClient();
            s = own.get();
        }
        s->write(request);
        QByteArray got;
        pumpUntil([&] {
            got += s->readAll();
            if (s->state() == QAbstractSocket::UnconnectedState) return true;
            const int end = got.indexOf("\r\n\r\n");
            if (end < 0) return false;
            const int at = got.indexOf("Content-Length: ");
            if (at < 0 || at > end) return false;
            const int length = got.mid(at + 16, got.indexOf("\r\n", at) - at - 16).toInt();
            return got.size() >= end + 4 + length || request.startsWith("HEAD");
        });
        return got;
    }

    static QByteArray get(const QByteArray& target, const QByteArray& extra = {}) {
        return "GET " + target + " HTTP/1.1\r\nHost: x\r\n" + extra + "\r\n";
    }

    static void raiseOpenFileLimit() {
        rlimit r{};
        getrlimit(RLIMIT_NOFILE, &r);
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }

    WebSettings settings;
    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
    EventLog log;
    LanguageMode language = LanguageMode::English;
    std::int64_t nowMs = 1000;
    std::vector<std::string> logged;
    std::unique_ptr<WebServer> server;
};

}  // namespace tev::testing
