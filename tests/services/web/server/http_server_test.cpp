#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QWebSocket>

#include "meterport/meter_server.h"
#include "web_server_fixture.h"

namespace tev::testing {
namespace {

TEST_F(WebServerTest, DashboardAndApiAnswerWithTheSecurityHeaders) {
    ASSERT_TRUE(startServer());
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "Web dashboard " + server->url().toStdString());
    EXPECT_TRUE(server->url().startsWith("http://127.0.0.1:"));
    const QByteArray page = exchange(get("/"));
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200 OK\r\n")) << page.left(200).toStdString();
    EXPECT_TRUE(page.contains("\r\nContent-Type: text/html; charset=utf-8\r\n"));
    EXPECT_TRUE(page.contains("\r\nContent-Security-Policy: default-src 'self'\r\n"));
    EXPECT_TRUE(page.contains("\r\nX-Content-Type-Options: nosniff\r\n"));
    EXPECT_FALSE(page.contains("Access-Control-Allow-Origin"));
    EXPECT_TRUE(page.contains("<script src=\"/uPlot.iife.min.js\""));
    EXPECT_TRUE(exchange(get("/uPlot.iife.min.js")).contains("text/javascript"));
    const QByteArray live = exchange(get("/api/v1/live"));
    EXPECT_TRUE(live.contains("\r\n\r\n{\"time\":1796000000,\"link\":true,"));
    const QByteArray head =
        exchange("HEAD /api/v1/live HTTP/1.1\r\n" + host() + "Connection: close\r\n\r\n");
    EXPECT_TRUE(head.startsWith("HTTP/1.1 200 OK"));
    EXPECT_TRUE(head.endsWith("\r\n\r\n")) << head.toStdString();
    EXPECT_TRUE(exchange(get("/../etc/passwd")).startsWith("HTTP/1.1 400 "));
    EXPECT_TRUE(exchange(get("/nothing")).startsWith("HTTP/1.1 404 "));
}

TEST_F(WebServerTest, TwoRequestsOnOneKeptAliveConnection) {
    ASSERT_TRUE(startServer());
    auto client = connectClient();
    EXPECT_TRUE(exchange(get("/api/v1/meters"), client.get()).endsWith("\r\n\r\n[]"));
    EXPECT_TRUE(exchange(get("/api/v1/meters"), client.get()).endsWith("\r\n\r\n[]"));
    EXPECT_EQ(client->state(), QAbstractSocket::ConnectedState);
}

TEST_F(WebServerTest, AnythingButGetOrHeadIs405AndTheConnectionEnds) {
    ASSERT_TRUE(startServer());
    for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
        const QByteArray r = exchange(QByteArray(method) + " /api/v1/live HTTP/1.1\r\n" + host() +
                                      "Content-Length: 3\r\n\r\nabc");
        EXPECT_TRUE(r.startsWith("HTTP/1.1 405 Method Not Allowed\r\n")) << method;
        EXPECT_TRUE(r.contains("\r\nAllow: GET, HEAD\r\n"));
        EXPECT_TRUE(r.contains("\r\nConnection: close\r\n"));
    }
}

TEST_F(WebServerTest, OversizedHeadsAre431) {
    ASSERT_TRUE(startServer());
    const QByteArray big = get("/", "X-Big: " + QByteArray(20000, 'a') + "\r\n");
    EXPECT_TRUE(exchange(big).startsWith("HTTP/1.1 431 Request Header Fields Too Large\r\n"));
    // A request line that never ends is refused once it passes the bound.
    EXPECT_TRUE(exchange("GET /" + QByteArray(5000, 'a')).startsWith("HTTP/1.1 431 "));
}

TEST_F(WebServerTest, APasswordFileAsksForBasicAuthorization) {
    QTemporaryDir dir;
    QFile f(dir.filePath("pw"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("s3cret\n");
    f.close();
    ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    settings.passwordFile = f.fileName();
    ASSERT_TRUE(startServer());
    const QByteArray refused = exchange(get("/api/v1/live"));
    EXPECT_TRUE(refused.startsWith("HTTP/1.1 401 Unauthorized\r\n"));
    EXPECT_TRUE(refused.contains("\r\nWWW-Authenticate: Basic realm=\"tev3p\""));
    EXPECT_TRUE(
        exchange(get("/", "Authorization: Basic dGV2Ondyb25n\r\n")).startsWith("HTTP/1.1 401 "));
    EXPECT_TRUE(exchange(get("/api/v1/live", "Authorization: Basic dGV2OnMzY3JldA==\r\n"))
                    .startsWith("HTTP/1.1 200 OK"));
    QWebSocket ws;
    ws.open(QUrl("ws://127.0.0.1:" + QString::number(server->port()) + "/api/v1/ws"));
    EXPECT_FALSE(pumpUntil([&] { return ws.state() == QAbstractSocket::ConnectedState; }, 1000));
    QNetworkRequest withPassword(
        QUrl("ws://127.0.0.1:" + QString::number(server->port()) + "/api/v1/ws"));
    withPassword.setRawHeader("Authorization", "Basic dGV2OnMzY3JldA==");
    QWebSocket allowed;
    allowed.open(withPassword);
    EXPECT_TRUE(pumpUntil([&] { return allowed.state() == QAbstractSocket::ConnectedState; }));
}

TEST_F(WebServerTest, NoListeningBeyondLoopbackWithoutPasswordOrAllowAnonymous) {
    // A documentation address: the refusal comes before any bind is tried.
    settings.address = QHostAddress("192.0.2.1");
    EXPECT_FALSE(startServer());
    EXPECT_FALSE(server->isListening());
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("not listening beyond loopback without a password"),
              std::string::npos);
    settings.passwordFile = "/nonexistent/pw";
    EXPECT_FALSE(startServer());
    EXPECT_NE(logged.back().find("cannot be read: not listening"), std::string::npos);
}

TEST_F(WebServerTest, ConnectionCapClosesTheIdlestAndNewRequestsStillAnswer) {
    settings.maxConnections = 3;
    ASSERT_TRUE(startServer());
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(connectClient());
        clock.advance(std::chrono::milliseconds(10));
        pumpUntil([&] { return server->connectionCount() == i + 1; });
    }
    // None is evicted in its first second.
    clock.advance(std::chrono::milliseconds(web::kFreshConnectionMs));
    EXPECT_TRUE(exchange(get("/api/v1/live")).startsWith("HTTP/1.1 200 OK"));
    EXPECT_LE(server->connectionCount(), 3);
    EXPECT_TRUE(pumpUntil([&] { return idle[0]->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(idle[2]->state(), QAbstractSocket::ConnectedState);
}

TEST_F(WebServerTest, IdleConnectionIsClosedAfterTheTimeout) {
    settings.idleTimeoutMs = 30000;
    ASSERT_TRUE(startServer());
    auto client = connectClient();
    pumpUntil([&] { return server->connectionCount() == 1; });
    clock.advance(std::chrono::milliseconds(29999));
    server->closeIdleConnections();
    EXPECT_EQ(server->connectionCount(), 1);
    clock.advance(std::chrono::milliseconds(1));
    server->closeIdleConnections();
    EXPECT_EQ(server->connectionCount(), 0);
    EXPECT_TRUE(pumpUntil([&] { return client->state() == QAbstractSocket::UnconnectedState; }));
}

TEST_F(WebServerTest, AThousandIdleConnectionsKeepNeitherTheDashboardNorAMeterOut) {
    raiseOpenFileLimit();
    // The connections grow old in real time: the cap evicts none younger than a second.
    realClock = true;
    ASSERT_TRUE(startServer());
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 1000; ++i) {
        auto s = std::make_unique<QTcpSocket>();
        s->connectToHost(QHostAddress::LocalHost, server->port());
        idle.push_back(std::move(s));
    }
    pumpUntil([&] {
        return std::all_of(idle.begin(), idle.end(), [](const auto& s) {
            return s->state() == QAbstractSocket::ConnectedState ||
                   s->state() == QAbstractSocket::UnconnectedState;
        });
    });
    clock.advance(std::chrono::milliseconds(10));
    EXPECT_LE(server->connectionCount(), settings.maxConnections);
    EXPECT_TRUE(exchange(get("/")).startsWith("HTTP/1.1 200 OK"));
    server->meterMessageHandled(store->registry, "HOQ000000001");
    EXPECT_TRUE(exchange(get("/metrics")).contains("tev3p_link_on 1\n"));
    // The meter port of the same process still takes a meter and its message.
    MeterServerSettings meterSettings;
    meterSettings.address = QHostAddress::LocalHost;
    meterSettings.meterPort = 0;
    meterSettings.secondPort = 0;
    MeterServer meters(meterSettings, realTime);
    std::vector<std::string> messages;
    meters.setMessageHandler([&](std::string_view m) {
        messages.emplace_back(m);
        return std::string();
    });
    meters.start();
    QTcpSocket meter;
    meter.connectToHost(QHostAddress::LocalHost, meters.meterPort());
    ASSERT_TRUE(pumpUntil([&] { return meter.state() == QAbstractSocket::ConnectedState; }));
    meter.write("HOQ000000001 hello\r\n");
    EXPECT_TRUE(pumpUntil([&] { return !messages.empty(); }));
}

TEST_F(WebServerTest, ClientOverItsRequestRateGets429) {
    settings.requestBurst = 3;
    settings.requestsPerSecond = 1;
    ASSERT_TRUE(startServer());
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(exchange(get("/api/v1/live")).startsWith("HTTP/1.1 200"));
    const QByteArray r = exchange(get("/api/v1/live"));
    EXPECT_TRUE(r.startsWith("HTTP/1.1 429 Too Many Requests\r\n"));
    EXPECT_TRUE(r.contains("\r\nRetry-After: 1\r\n"));
    clock.advance(std::chrono::milliseconds(1000));
    EXPECT_TRUE(exchange(get("/api/v1/live")).startsWith("HTTP/1.1 200"));
}

TEST_F(WebServerTest, WebSocketClientHearsOfAMeterMessageWithinASecond) {
    ASSERT_TRUE(startServer());
    QWebSocket ws;
    std::vector<QString> messages;
    QObject::connect(&ws, &QWebSocket::textMessageReceived,
                     [&](const QString& m) { messages.push_back(m); });
    ws.open(QUrl("ws://127.0.0.1:" + QString::number(server->port()) + "/api/v1/ws"));
    ASSERT_TRUE(pumpUntil([&] { return messages.size() == 1; }));
    EXPECT_TRUE(messages[0].startsWith("{\"live\":{\"time\":1796000000,"));
    store->live.V1 = 231.5f;
    log.append("a new log line");
    QElapsedTimer sent;
    sent.start();
    server->meterMessageHandled(store->registry, "HOQ000000001");
    ASSERT_TRUE(pumpUntil([&] { return messages.size() >= 2; }, 1000));
    EXPECT_LT(sent.elapsed(), 1000);
    EXPECT_TRUE(messages.back().contains("\"V1\":231.5"));
    // The meter heard from is listed, though no longer (here: never) in the registry.
    EXPECT_TRUE(messages.back().contains("\"meters\":[{\"id\":\"HOQ000000001\",\"name\":null,"));
    EXPECT_TRUE(messages.back().contains("\"text\":\"a new log line\""));
    EXPECT_EQ(server->webSocketCount(), 1);
}

// A client on the same computer answers each ping within the millisecond it was sent in (the
// test's clock stands still while it answers), and sends nothing else: it is pinged again every
// half idle time and stays through many rounds.
TEST_F(WebServerTest, ALiveFeedThatPongsInTheSameMillisecondStaysAcrossManyPings) {
    settings.idleTimeoutMs = 2000;
    ASSERT_TRUE(startServer());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server->port());
    ASSERT_TRUE(pumpUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    client.write(
        "GET /api/v1/ws HTTP/1.1\r\n" + host() +
        "Upgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    QByteArray heard;
    ASSERT_TRUE(pumpUntil([&] {
        heard += client.readAll();
        return heard.contains("\r\n\r\n\x81");
    }));
    ASSERT_TRUE(heard.startsWith("HTTP/1.1 101 "));
    // Masked client frames (the key 0 0 0 0): an empty pong, and a ping whose answer says that
    // the pong before it was read.
    const QByteArray pong("\x8A\x80\0\0\0\0", 6);
    const QByteArray ping("\x89\x82\0\0\0\0ok", 8);
    for (int round = 0; round < 20; ++round) {
        heard.clear();
        clock.advance(std::chrono::milliseconds(settings.idleTimeoutMs / 2));
        server->closeIdleConnections();
        ASSERT_TRUE(pumpUntil([&] {
            heard += client.readAll();
            return heard.contains(QByteArray("\x89\x00", 2)) ||
                   client.state() != QAbstractSocket::ConnectedState;
        })) << "no ping in round "
            << round;
        ASSERT_EQ(client.state(), QAbstractSocket::ConnectedState) << "closed in round " << round;
        client.write(pong + ping);
        ASSERT_TRUE(pumpUntil([&] {
            heard += client.readAll();
            return heard.contains("\x8A\x02ok");
        })) << "round "
            << round;
    }
    EXPECT_EQ(server->webSocketCount(), 1);
}

// The names and the week start of tev3p.ini reach the answers, and a meter the off-line alarm
// took from the registry stays in the meters answer, off-line since the alarm.
TEST_F(WebServerTest, NamesWeekStartAndAMeterThatLeftTheRegistryReachTheAnswers) {
    adjustSources = [](web::WebSources& s) {
        s.meterNames.byId.emplace("HOQ000000001", "Kitchen");
        s.weekStart = archive::WeekStart::Sunday;
    };
    ASSERT_TRUE(startServer());
    MeterEntry& m = store->registry.rows[store->registry.MeterCount++];
    m.Id.assign("HOQ000000001");
    m.IpAddr.assign("192.0.2.7");
    server->meterMessageHandled(store->registry, "HOQ000000001");
    server->meterDataHandled(store->registry, "HOQ000000001");
    EXPECT_TRUE(
        bodyOf(exchange(get("/api/v1/live")))
            .contains(
                "\"meter\":\"HOQ000000001\",\"name\":\"Kitchen\",\"week_start\":\"sunday\","));
    store->registry.MeterCount = 0;
    clock.setUnixSeconds(1796000100);
    server->metersForgotten();
    const QByteArray meters = bodyOf(exchange(get("/api/v1/meters")));
    EXPECT_TRUE(
        meters.startsWith("[{\"id\":\"HOQ000000001\",\"name\":\"Kitchen\",\"ip\":\"192.0.2.7\","
                          "\"last_message\":1796000000,\"V1\":null,"))
        << meters.toStdString();
    EXPECT_TRUE(meters.endsWith("\"online\":false,\"offline_since\":1796000100}]"));
    EXPECT_TRUE(
        bodyOf(exchange(get("/api/v1/records.csv?scale=day&bom=1"))).startsWith("\xEF\xBB\xBF"));
}

TEST_F(WebServerTest, LogLinesAndSaveFailuresReachTheApi) {
    log.append("before the server");
    ASSERT_TRUE(startServer());
    log.append("08 10:00 Save TEV user setting fail: disk full !");
    language = LanguageMode::Bilingual;
    const QByteArray lines =
        exchange(get("/api/v1/log?after=" + QByteArray::number(log.lines().size() - 1)));
    EXPECT_TRUE(lines.contains("{\"n\":" + QByteArray::number(log.lines().size()) +
                               ",\"text\":\"08 10:00 Save TEV user setting fail: disk full !\"}"));
    EXPECT_FALSE(lines.contains("before the server"));
    EXPECT_TRUE(exchange(get("/metrics")).contains("tev3p_save_failures_total 1\n"));
    EXPECT_TRUE(exchange(get("/api/v1/live")).contains("\"language\":\"bilingual\""));
}

// The dashboard's files: gzipped at build time for a client that takes gzip, tagged, kept with
// revalidation; a tag the client holds gets a bodiless 304 and the connection goes on. Broken
// Accept-Encoding or If-None-Match fields get the plain bytes.
TEST_F(WebServerTest, DashboardFilesGoGzippedTaggedAndA304ForATagHeld) {
    ASSERT_TRUE(startServer());
    const QByteArray plain = exchange(get("/app.js"));
    ASSERT_TRUE(plain.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(headerOf(plain, "Content-Encoding"), "(none)");
    EXPECT_EQ(headerOf(plain, "Vary"), "Accept-Encoding");
    EXPECT_EQ(headerOf(plain, "Cache-Control"), "no-cache");
    const QByteArray js = bodyOf(plain);

    const QByteArray gz = exchange(get("/app.js", "Accept-Encoding: gzip, deflate, br\r\n"));
    EXPECT_EQ(headerOf(gz, "Content-Encoding"), "gzip");
    EXPECT_EQ(gunzip(bodyOf(gz)), js);
    EXPECT_LT(bodyOf(gz).size(), js.size() / 2);
    const QByteArray tag = headerOf(plain, "ETag");
    const QByteArray gzTag = headerOf(gz, "ETag");
    EXPECT_NE(tag, gzTag);

    // Every file of the page, gzipped or not, unpacks to its plain bytes.
    for (const char* file : {"/", "/uPlot.iife.min.js", "/app.css", "/manifest.webmanifest"}) {
        const QByteArray p = bodyOf(exchange(get(file)));
        const QByteArray g = exchange(get(file, "Accept-Encoding: gzip\r\n"));
        EXPECT_EQ(headerOf(g, "Content-Encoding") == "gzip" ? gunzip(bodyOf(g)) : bodyOf(g), p)
            << file;
    }

    auto client = connectClient();
    for (const QByteArray& held : {tag, "\"x\", " + gzTag}) {
        const QByteArray r =
            exchange(get("/app.js", "Accept-Encoding: gzip\r\nIf-None-Match: " + held + "\r\n"),
                     client.get());
        EXPECT_TRUE(r.startsWith("HTTP/1.1 304 Not Modified\r\n")) << held.toStdString();
        EXPECT_TRUE(r.endsWith("\r\n\r\n")) << r.toStdString();
        EXPECT_EQ(headerOf(r, "Content-Length"), "(none)");
        EXPECT_EQ(headerOf(r, "ETag"), gzTag);
    }
    // The 304s ended where their heads did: the same connection answers on.
    EXPECT_TRUE(exchange(get("/api/v1/meters"), client.get()).endsWith("\r\n\r\n[]"));

    const QByteArray head = exchange("HEAD /app.js HTTP/1.1\r\n" + host() +
                                     "Accept-Encoding: gzip\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(headerOf(head, "Content-Length").toInt(), bodyOf(gz).size());
    EXPECT_TRUE(head.endsWith("\r\n\r\n"));

    const QByteArray bad = exchange(get(
        "/app.js", "Accept-Encoding: gzip;q=2\r\nIf-None-Match: \"unterminated, " + tag + "\r\n"));
    EXPECT_TRUE(bad.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(bodyOf(bad), js);
}

// Answers built on a reader thread go gzipped when the client takes gzip and they are a
// kilobyte or more; the API stays unkept.
TEST_F(WebServerTest, BigApiAnswersGoGzippedAndStayUnkept) {
    ScaleTable& hours = store->table(TimeScale::Hour);
    for (int r = 0; r < 300; ++r) {
        hours.setDate(r, 261201 + r / 24);
        hours.setTime(r, (r % 24) * 60);
        hours.setValue(kColWatt, r, 1000.0f + static_cast<float>(r));
    }
    hours.cnt = 300;
    ASSERT_TRUE(startServer());
    const QByteArray series = "/api/v1/series?scale=hour&quantities=Watt";
    const QByteArray plain = exchange(get(series));
    ASSERT_TRUE(plain.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_GT(bodyOf(plain).size(), 4000);
    EXPECT_EQ(headerOf(plain, "Content-Encoding"), "(none)");
    EXPECT_EQ(headerOf(plain, "Vary"), "Accept-Encoding");
    const QByteArray gz = exchange(get(series, "Accept-Encoding: gzip\r\n"));
    EXPECT_EQ(headerOf(gz, "Content-Encoding"), "gzip");
    EXPECT_EQ(headerOf(gz, "Cache-Control"), "no-store");
    EXPECT_EQ(gunzip(bodyOf(gz)), bodyOf(plain));
    EXPECT_LT(bodyOf(gz).size(), bodyOf(plain).size() / 3);
    // Small answers built between meter messages go as they are.
    const QByteArray live = exchange(get("/api/v1/live", "Accept-Encoding: gzip\r\n"));
    EXPECT_EQ(headerOf(live, "Content-Encoding"), "(none)");
    EXPECT_EQ(headerOf(live, "Cache-Control"), "no-store");
    EXPECT_EQ(headerOf(live, "ETag"), "(none)");
}

}  // namespace
}  // namespace tev::testing
