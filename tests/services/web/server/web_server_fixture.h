#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <memory>

#include "platform/qt/system_clock.h"
#include "services/web/server/web_server.h"
#include "tests/support/fake_clock.h"
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
        clock.setSteadyMs(1000);
        clock.setUnixSeconds(1796000000);
    }

    bool startServer() {
        web::WebSources sources;
        sources.store = store.get();
        sources.log = &log;
        sources.linkOn = [] { return true; };
        sources.language = [this] { return language; };
        if (adjustSources) adjustSources(sources);
        server = std::make_unique<web::WebServer>(
            settings, std::move(sources),
            realClock ? static_cast<const Clock&>(realTime) : static_cast<const Clock&>(clock));
        return server->start([this](const std::string& line) { logged.push_back(line); });
    }

    // What a test changes in the sources before the server starts.
    std::function<void(web::WebSources&)> adjustSources;

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

    // Whether `got` holds a whole answer: by its Content-Length, or its last chunk.
    static bool wholeAnswer(const QByteArray& got, bool head) {
        const int end = got.indexOf("\r\n\r\n");
        if (end < 0) return false;
        // A 304 is its head alone.
        if (head || got.startsWith("HTTP/1.1 304 ")) return true;
        if (got.left(end).contains("\r\nTransfer-Encoding: chunked"))
            return got.endsWith("\r\n0\r\n\r\n");
        const int at = got.indexOf("Content-Length: ");
        if (at < 0 || at > end) return false;
        const int length = got.mid(at + 16, got.indexOf("\r\n", at) - at - 16).toInt();
        return got.size() >= end + 4 + length;
    }

    // The body of one answer, its chunks joined when it came in chunks.
    static QByteArray bodyOf(const QByteArray& answer) {
        const int end = answer.indexOf("\r\n\r\n");
        QByteArray body = answer.mid(end + 4);
        if (!answer.left(end).contains("\r\nTransfer-Encoding: chunked")) return body;
        QByteArray joined;
        int at = 0;
        while (at < body.size()) {
            const int eol = body.indexOf("\r\n", at);
            if (eol < 0) break;
            bool ok = false;
            const int size = body.mid(at, eol - at).toInt(&ok, 16);
            if (!ok || size == 0) break;
            joined += body.mid(eol + 2, size);
            at = eol + 2 + size + 2;
        }
        return joined;
    }

    // A gzip stream unpacked; "(not gzip)" when it is none or is cut short.
    static QByteArray gunzip(const QByteArray& gz) {
        z_stream z{};
        if (inflateInit2(&z, 15 + 16) != Z_OK) return "(not gzip)";
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.constData()));
        z.avail_in = static_cast<uInt>(gz.size());
        QByteArray out;
        int rc = Z_OK;
        while (rc == Z_OK) {
            char buffer[16384];
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            rc = inflate(&z, Z_NO_FLUSH);
            out.append(buffer, static_cast<int>(sizeof buffer - z.avail_out));
        }
        const bool whole = rc == Z_STREAM_END && z.avail_in == 0;
        inflateEnd(&z);
        return whole ? out : QByteArray("(not gzip)");
    }

    // The value of a header field of an answer, "(none)" without it.
    static QByteArray headerOf(const QByteArray& answer, const QByteArray& name) {
        const QByteArray head = answer.left(answer.indexOf("\r\n\r\n") + 2);
        const int at = head.indexOf("\r\n" + name + ": ");
        if (at < 0) return "(none)";
        const int from = at + 2 + name.size() + 2;
        return head.mid(from, head.indexOf("\r\n", from) - from);
    }

    // Sends `request` on a new connection and gathers what comes back until the server closes
    // the connection or a whole answer (by its Content-Length or its last chunk) has arrived.
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
            return wholeAnswer(got, request.startsWith("HEAD"));
        });
        return got;
    }

    // "Host: 127.0.0.1:PORT", as a browser on the dashboard's own address sends it.
    QByteArray host() const {
        return "Host: 127.0.0.1:" + QByteArray::number(server ? server->port() : 0) + "\r\n";
    }

    QByteArray get(const QByteArray& target, const QByteArray& extra = {}) const {
        return "GET " + target + " HTTP/1.1\r\n" + host() + extra + "\r\n";
    }

    static void raiseOpenFileLimit() {
        rlimit r{};
        getrlimit(RLIMIT_NOFILE, &r);
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }

    web::WebSettings settings;
    std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
    FakeClock clock;
    EventLog log{clock};
    LanguageMode language = LanguageMode::English;
    // The server's clock is the one the test moves, or the computer's when realClock is set.
    bool realClock = false;
    SystemClock realTime;
    std::vector<std::string> logged;
    std::unique_ptr<web::WebServer> server;
};

}  // namespace tev::testing
