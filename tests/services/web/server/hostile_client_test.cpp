// Real sockets on loopback against the server, one test per kind of hostile client: one that
// never reads, one from another site, one that guesses passwords, one that hoards live feeds,
// one that frames requests ambiguously, one that trickles its head, and a pipelined burst.
#include <QFile>
#include <QTemporaryDir>
#include <QWebSocket>
#include <condition_variable>
#include <map>
#include <mutex>

#include "web_server_fixture.h"

namespace tev::testing {
namespace {

constexpr char kKey[] = "dGhlIHNhbXBsZSBub25jZQ==";

// A client frame as a browser sends it, masked with the key 1 2 3 4 (or not masked at all).
QByteArray clientFrame(char firstByte, const QByteArray& payload, bool masked = true) {
    QByteArray f(1, firstByte);
    f += static_cast<char>((masked ? 0x80 : 0) | payload.size());
    const char key[4] = {1, 2, 3, 4};
    if (masked) f.append(key, 4);
    for (int i = 0; i < payload.size(); ++i)
        f += masked ? static_cast<char>(payload[i] ^ key[i % 4]) : payload[i];
    return f;
}

class HostileClientTest : public WebServerTest {
  protected:
    QByteArray upgrade(const QByteArray& extra = {}, const QByteArray& key = kKey) const {
        return "GET /api/v1/ws HTTP/1.1\r\n" + host() +
               "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + key +
               "\r\nSec-WebSocket-Version: 13\r\n" + extra + "\r\n";
    }

    // A connection from `from` (any 127.0.0.0/8 address) that has sent `request` and got the
    // head of an answer, which is in `head`.
    std::unique_ptr<QTcpSocket> ask(const QByteArray& request, QByteArray& head,
                                    const QHostAddress& from = QHostAddress::LocalHost) {
        auto s = std::make_unique<QTcpSocket>();
        s->bind(from, 0);
        s->connectToHost(QHostAddress::LocalHost, server->port());
        pumpUntil([&] { return s->state() == QAbstractSocket::ConnectedState; });
        s->write(request);
        head.clear();
        pumpUntil([&] {
            head += s->readAll();
            return head.contains("\r\n\r\n") || s->state() == QAbstractSocket::UnconnectedState;
        });
        return s;
    }

    // Reads until `s` has closed (or five seconds); what came.
    QByteArray untilClosed(QTcpSocket& s) {
        QByteArray got;
        pumpUntil([&] {
            got += s.readAll();
            return s.state() == QAbstractSocket::UnconnectedState;
        });
        return got + s.readAll();
    }

    // The password "s3cret", in a file in `dir` only its owner may read.
    bool usePassword(const QTemporaryDir& dir) {
        QFile f(dir.filePath("pw"));
        settings.passwordFile = f.fileName();
        return f.open(QIODevice::WriteOnly) && f.write("s3cret\n") == 7 &&
               f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

    // Each address sends `request` on a connection of its own, 32 at once (the listen backlog
    // holds 50: more would wait a second for a SYN sent again); how many answers came with each
    // status.
    std::map<int, int> fromEach(const std::vector<QHostAddress>& from, const QByteArray& request) {
        std::map<int, int> statuses;
        for (std::size_t at = 0; at < from.size(); at += 32) {
            std::vector<std::unique_ptr<QTcpSocket>> batch;
            std::vector<QByteArray> heads;
            for (std::size_t i = at; i < std::min(from.size(), at + 32); ++i) {
                batch.push_back(std::make_unique<QTcpSocket>());
                batch.back()->bind(from[i], 0);
                batch.back()->connectToHost(QHostAddress::LocalHost, server->port());
                batch.back()->write(request);
            }
            heads.resize(batch.size());
            pumpUntil([&] {
                bool all = true;
                for (std::size_t i = 0; i < batch.size(); ++i) {
                    heads[i] += batch[i]->readAll();
                    all = all && heads[i].contains("\r\n\r\n");
                }
                return all;
            });
            for (const QByteArray& head : heads) ++statuses[head.mid(9, 3).toInt()];
        }
        return statuses;
    }

    void fillMinuteTable() {
        ScaleTable& min = store->table(TimeScale::Min);
        for (int r = 0; r < 8000; ++r) {
            min.setDate(r, 261201 + r / 1440);
            min.setTime(r, r % 1440);
            for (int c = 0; c < kQuantityCount; ++c)
                min.setValue(c, r, 230.0f + static_cast<float>(r % 97) * 0.1f);
        }
        min.cnt = 7999;
    }
};

TEST_F(HostileClientTest, ClientsThatNeverReadHoldOnlyABoundedQueue) {
    settings.requestBurst = 1000;
    fillMinuteTable();
    ASSERT_TRUE(startServer());
    // Pings as fast as the network takes them, and never a read: the pongs would pile up.
    QByteArray head;
    auto flood = ask(upgrade(), head);
    ASSERT_TRUE(head.startsWith("HTTP/1.1 101 ")) << head.toStdString();
    flood->setReadBufferSize(1024);
    QByteArray pings;
    while (pings.size() < 64 * 1024) pings += clientFrame('\x89', QByteArray(120, 'p'));
    // Pipelined tidy CSVs of 8000 rows (about 1 MB each), never read either.
    auto exports = connectClient();
    exports->setReadBufferSize(1024);
    QByteArray burst;
    for (int i = 0; i < 200; ++i) burst += get("/api/v1/records.csv?scale=min&format=tidy");
    exports->write(burst);
    std::int64_t written = 0;
    std::int64_t most = 0;
    int stuck = 0;
    // Until the server stops taking pings (its queue is full and it reads no more), within
    // 256 MB of them.
    while (written < 256 * 1024 * 1024 && stuck < 300) {
        if (flood->bytesToWrite() < 256 * 1024) {
            flood->write(pings);
            written += pings.size();
            stuck = 0;
        } else {
            ++stuck;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        most = std::max(most, server->queuedBytes());
    }
    EXPECT_GT(written, 4 * 1024 * 1024) << "the server read so few pings";
    EXPECT_LT(written, 256 * 1024 * 1024) << "the server never stopped reading";
    // Two connections, each under its limit plus what it had read and a slice.
    const std::int64_t bound = web::kMaxWebSocketOutputBytes + web::kMaxHttpOutputBytes +
                               2 * 2 * web::kReadBufferBytes + web::kAnswerSliceBytes;
    EXPECT_LT(most, bound);
    std::printf("most queued by the server: %lld bytes after %lld bytes of pings\n",
                static_cast<long long>(most), static_cast<long long>(written));
    // Neither made progress: both go after the idle time, the WebSocket with 1008.
    clock.advance(std::chrono::milliseconds(settings.idleTimeoutMs));
    server->closeIdleConnections();
    clock.advance(std::chrono::milliseconds(web::kCloseGraceMs));
    server->closeIdleConnections();
    EXPECT_EQ(server->connectionCount(), 0);
}

// An archive that answers only once the test lets it: every export asked meanwhile is held.
std::mutex archiveGate;
std::condition_variable archiveOpened;
bool archiveOpen = false;
archive::ArchiveSeries gatedSeries(const std::string&, const archive::SeriesQuery& query,
                                   std::string&) {
    std::unique_lock lock(archiveGate);
    archiveOpened.wait(lock, [] { return archiveOpen; });
    archive::ArchiveSeries s;
    s.meter = query.meter;
    return s;
}

TEST_F(HostileClientTest, DownloadsOnManyConnectionsHoldOnlyAFewPerAddressAndInAll) {
    settings.requestBurst = 1000;
    settings.maxConnections = 64;
    archiveOpen = false;
    adjustSources = [](web::WebSources& s) {
        s.archiveFolder = "gated";
        s.archiveQueries.series = gatedSeries;
    };
    ASSERT_TRUE(startServer());
    const QByteArray csv = get("/api/v1/meters/HOQ00000000A/export.csv?resolution=minute");
    std::vector<std::unique_ptr<QTcpSocket>> held;
    // Each address may hold a few; all of them together a few more. Past that: 503, at once.
    const struct {
        const char* from;
        int asks, held;
    } rounds[] = {
        {"127.0.0.1", web::kDownloadsPerAddress + 2, web::kDownloadsPerAddress},
        {"127.0.0.2", web::kDownloadsPerAddress, web::kDownloadsPerAddress},
        {"127.0.0.3", web::kDownloadsPerAddress, web::kDownloads - 2 * web::kDownloadsPerAddress}};
    for (const auto& round : rounds) {
        int refused = 0;
        for (int i = 0; i < round.asks; ++i) {
            auto s = std::make_unique<QTcpSocket>();
            s->bind(QHostAddress(round.from), 0);
            s->connectToHost(QHostAddress::LocalHost, server->port());
            ASSERT_TRUE(pumpUntil([&] { return s->state() == QAbstractSocket::ConnectedState; }));
            const int before = server->readerAnswersHeld();
            s->write(csv);
            QByteArray got;
            ASSERT_TRUE(pumpUntil([&] {
                got += s->readAll();
                return got.contains("\r\n\r\n") || server->readerAnswersHeld() > before;
            }));
            if (server->readerAnswersHeld() > before) {
                EXPECT_TRUE(got.isEmpty()) << got.toStdString();
                held.push_back(std::move(s));
                continue;
            }
            EXPECT_TRUE(got.startsWith("HTTP/1.1 503 ")) << got.toStdString();
            EXPECT_TRUE(got.contains("\r\nRetry-After: 2\r\n")) << got.toStdString();
            ++refused;
        }
        EXPECT_EQ(refused, round.asks - round.held) << round.from;
    }
    EXPECT_EQ(held.size(), static_cast<std::size_t>(web::kDownloads));
    // The archive answers: every held download gets its rows, and the holds are returned.
    {
        const std::lock_guard lock(archiveGate);
        archiveOpen = true;
    }
    archiveOpened.notify_all();
    for (auto& s : held) {
        QByteArray got;
        EXPECT_TRUE(pumpUntil([&] {
            got += s->readAll();
            return got.contains("\r\n0\r\n\r\n");
        })) << got.toStdString();
        EXPECT_TRUE(got.startsWith("HTTP/1.1 200 ")) << got.left(200).toStdString();
    }
    QByteArray head;
    auto again = ask(csv, head);
    EXPECT_TRUE(head.startsWith("HTTP/1.1 200 ")) << head.toStdString();
}

TEST_F(HostileClientTest, AForeignOriginGetsNoLiveFeedAndAForeignHostNoApi) {
    settings.allowedHosts = {"dash.lan"};
    ASSERT_TRUE(startServer());
    const QByteArray port = QByteArray::number(server->port());
    QByteArray head;
    auto foreign = ask(upgrade("Origin: http://evil.example\r\n"), head);
    EXPECT_TRUE(head.startsWith("HTTP/1.1 403 Forbidden\r\n")) << head.toStdString();
    auto own = ask(upgrade("Origin: http://127.0.0.1:" + port + "\r\n"), head);
    EXPECT_TRUE(head.startsWith("HTTP/1.1 101 Switching Protocols\r\n")) << head.toStdString();
    EXPECT_FALSE(head.contains("Access-Control-Allow"));
    EXPECT_EQ(server->webSocketCount(), 1);

    // DNS rebinding: a page of evil.example that now resolves to 127.0.0.1.
    const int before = static_cast<int>(logged.size());
    for (const char* name : {"evil.example", "other.example"}) {
        const QByteArray r = exchange("GET /api/v1/live HTTP/1.1\r\nHost: " + QByteArray(name) +
                                      ":" + port + "\r\n\r\n");
        EXPECT_TRUE(r.startsWith("HTTP/1.1 421 Misdirected Request\r\n")) << r.toStdString();
    }
    ASSERT_EQ(static_cast<int>(logged.size()), before + 1);  // one line an hour
    EXPECT_NE(logged.back().find("\"evil.example:" + port.toStdString() + "\""), std::string::npos);
    EXPECT_TRUE(exchange("GET /api/v1/live HTTP/1.1\r\nHost: dash.lan:" + port + "\r\n\r\n")
                    .startsWith("HTTP/1.1 200 OK"));
    EXPECT_TRUE(exchange("GET /api/v1/live HTTP/1.1\r\nHost: [::1]:" + port + "\r\n\r\n")
                    .startsWith("HTTP/1.1 200 OK"));
    // An absolute-form target stands for its Host.
    EXPECT_TRUE(
        exchange("GET http://localhost:" + port + "/api/v1/live HTTP/1.1\r\n" + host() + "\r\n")
            .startsWith("HTTP/1.1 200 OK"));
    EXPECT_TRUE(
        exchange("GET http://evil.example:" + port + "/api/v1/live HTTP/1.1\r\n" + host() + "\r\n")
            .startsWith("HTTP/1.1 400 "));
}

TEST_F(HostileClientTest, PasswordGuessesAreBrakedThroughTheUpgradeToo) {
    QTemporaryDir dir;
    ASSERT_TRUE(usePassword(dir));
    settings.requestBurst = 1000;
    ASSERT_TRUE(startServer());
    const QByteArray wrong = "Authorization: Basic dGV2Ondyb25n\r\n";  // tev:wrong
    const QByteArray right = "Authorization: Basic dGV2OnMzY3JldA==\r\n";
    QByteArray head;
    for (int i = 0; i < web::LoginBrake::kFailures; ++i) {
        ask(upgrade(wrong), head);
        EXPECT_TRUE(head.startsWith("HTTP/1.1 401 ")) << i;
    }
    // The address is braked for a minute, the right password included, with one log line.
    ask(upgrade(right), head);
    EXPECT_TRUE(head.startsWith("HTTP/1.1 429 ")) << head.toStdString();
    EXPECT_TRUE(head.contains("\r\nRetry-After: 60\r\n"));
    EXPECT_TRUE(exchange(get("/api/v1/live", right)).startsWith("HTTP/1.1 429 "));
    const auto lines = std::count_if(logged.begin(), logged.end(), [](const std::string& l) {
        return l.find("wrong passwords within a minute from 127.0.0.1") != std::string::npos;
    });
    EXPECT_EQ(lines, 1);
    clock.advance(std::chrono::milliseconds(web::LoginBrake::kBlockMs));
    ask(upgrade(right), head);
    EXPECT_TRUE(head.startsWith("HTTP/1.1 101 ")) << head.toStdString();

    // The request rate counts upgrades as every other request.
    settings.passwordFile.clear();
    settings.requestBurst = 2;
    settings.requestsPerSecond = 1;
    ASSERT_TRUE(startServer());
    std::vector<std::unique_ptr<QTcpSocket>> open;
    for (int i = 0; i < 2; ++i) {
        open.push_back(ask(upgrade(), head));
        EXPECT_TRUE(head.startsWith("HTTP/1.1 101 ")) << i;
    }
    ask(upgrade(), head);
    EXPECT_TRUE(head.startsWith("HTTP/1.1 429 ")) << head.toStdString();
}

TEST_F(HostileClientTest, GuessersFromManyAddressesNeverLockOutTheOwner) {
    QTemporaryDir dir;
    ASSERT_TRUE(usePassword(dir));
    settings.requestBurst = 1000;
    ASSERT_TRUE(startServer());
    const QByteArray wrong = get("/api/v1/live", "Authorization: Basic dGV2Ondyb25n\r\n");
    const QByteArray right = get("/api/v1/live", "Authorization: Basic dGV2OnMzY3JldA==\r\n");
    // One wrong password from each of 4,096 addresses fills the brake's table, all within one
    // millisecond of the server's clock; then 40 more from new addresses.
    std::vector<QHostAddress> guessers;
    for (quint32 i = 0; i < web::LoginBrake::kMaxClients + 2 * web::LoginBrake::kFailures; ++i)
        guessers.emplace_back((127u << 24) | ((1 + i / 250) << 8) | (1 + i % 250));
    const std::map<int, int> statuses = fromEach(guessers, wrong);
    EXPECT_EQ(statuses.at(401),
              static_cast<int>(web::LoginBrake::kMaxClients) + web::LoginBrake::kFailures);
    EXPECT_EQ(statuses.at(429), web::LoginBrake::kFailures);  // beyond the untracked burst
    EXPECT_EQ(statuses.size(), 2u);
    // The owner, who never failed, gets in, and so does an address never seen; one log line
    // names the situation and none brakes an address.
    EXPECT_TRUE(exchange(right).startsWith("HTTP/1.1 200 OK"));
    QByteArray head;
    ask(right, head, QHostAddress("127.200.0.1"));
    EXPECT_TRUE(head.startsWith("HTTP/1.1 200 OK")) << head.toStdString();
    const auto count = [this](const char* text) {
        return std::count_if(logged.begin(), logged.end(),
                             [text](const std::string& l) { return l.find(text) != l.npos; });
    };
    EXPECT_EQ(count("the password brake's table is full (4096 addresses), and 21 wrong passwords "
                    "came from addresses it does not track: theirs get 429 beyond 2 a second"),
              1);
    EXPECT_EQ(count("wrong passwords within a minute from"), 0);
}

TEST(WebClientAddress, AnIpv6ClientCountsByItsSlash64) {
    for (const auto& [peer, client] : {std::pair{"2001:db8:0:1:aaaa::1", "2001:db8:0:1::/64"},
                                       {"2001:db8:0:1:ffff:ffff:ffff:ffff", "2001:db8:0:1::/64"},
                                       {"2001:db8:0:2::1", "2001:db8:0:2::/64"},
                                       {"::ffff:10.0.0.1", "10.0.0.1"}})
        EXPECT_EQ(web::WebServer::clientOf(QHostAddress(peer)), client) << peer;
}

TEST_F(HostileClientTest, OneAddressHoldsFewLiveFeedsAndSilentOnesAreClosed) {
    settings.requestBurst = 1000;
    ASSERT_TRUE(startServer());
    QByteArray head;
    std::vector<std::unique_ptr<QTcpSocket>> hoard;
    for (int i = 0; i < 3 * web::kWebSocketsPerAddress; ++i) {
        clock.advance(std::chrono::milliseconds(10));
        hoard.push_back(ask(upgrade(), head));
        ASSERT_TRUE(head.startsWith("HTTP/1.1 101 ")) << i;
    }
    EXPECT_EQ(server->webSocketCount(), web::kWebSocketsPerAddress);
    EXPECT_EQ(server->connectionCount(), web::kWebSocketsPerAddress);
    // The newest stay; the others were closed.
    EXPECT_TRUE(pumpUntil([&] { return hoard[0]->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(hoard.back()->state(), QAbstractSocket::ConnectedState);
    auto other = ask(upgrade(), head, QHostAddress("127.0.0.2"));
    EXPECT_TRUE(head.startsWith("HTTP/1.1 101 ")) << head.toStdString();
    EXPECT_EQ(server->webSocketCount(), web::kWebSocketsPerAddress + 1);

    // Quiet for half the idle time, each gets a ping; the one that answers stays.
    clock.advance(std::chrono::milliseconds(settings.idleTimeoutMs / 2));
    server->closeIdleConnections();
    QByteArray heard;
    ASSERT_TRUE(pumpUntil([&] {
        heard += other->readAll();
        return heard.endsWith(QByteArray("\x89\x00", 2));
    }));
    // Its pong, then a ping of its own: the answer to that says the pong was read.
    other->write(clientFrame('\x8A', {}) + clientFrame('\x89', "seen"));
    ASSERT_TRUE(pumpUntil([&] {
        heard += other->readAll();
        return heard.endsWith("\x8A\x04seen");
    }));
    clock.advance(std::chrono::milliseconds(settings.idleTimeoutMs / 2));
    server->closeIdleConnections();
    QByteArray closing;
    EXPECT_TRUE(pumpUntil([&] {
        closing += hoard.back()->readAll();
        return closing.endsWith(QByteArray("\x88\x02\x03\xE9", 4));  // 1001
    }));
    clock.advance(std::chrono::milliseconds(web::kCloseGraceMs));
    server->closeIdleConnections();
    EXPECT_EQ(server->webSocketCount(), 1);
    EXPECT_EQ(other->state(), QAbstractSocket::ConnectedState);
}

TEST_F(HostileClientTest, AmbiguousFramingGetsOne400AndTheConnectionEnds) {
    settings.requestBurst = 1000;
    ASSERT_TRUE(startServer());
    const QByteArray second = get("/api/v1/meters");
    const struct {
        QByteArray request;
        const char* status;
    } cases[] = {
        // The second request hides in the body that one reader would see and another not.
        {"GET /api/v1/live HTTP/1.1\r\n" + host() + "Content-Length: 0\r\nContent-Length: " +
             QByteArray::number(second.size()) + "\r\n\r\n" + second,
         "HTTP/1.1 400 "},
        {"GET /api/v1/live HTTP/1.1\r\n" + host() + "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n" +
             second,
         "HTTP/1.1 400 "},
        {"GET /api/v1/live HTTP/1.1\r\n" + host() +
             "Content-Length: " + QByteArray::number(second.size()) + "\r\n\r\n" + second,
         "HTTP/1.1 400 "},
        {upgrade({}, ""), "HTTP/1.1 400 "},
        {upgrade({}, "c2hvcnQ="), "HTTP/1.1 400 "},
        {"GET http://evil.example/api/v1/live HTTP/1.1\r\n" + host() + "\r\n" + second,
         "HTTP/1.1 400 "},
        // Answered at once, not at the head's deadline: bare LF, a folded Host, a CR in a value.
        {"GET /api/v1/live HTTP/1.1\n" + host(), "HTTP/1.1 400 "},
        {"GET /api/v1/live HTTP/1.1\r\n " + host() + "\r\n", "HTTP/1.1 400 "},
        {"GET /api/v1/live HTTP/1.1\r\n" + host() + "X: a\rb\r\n\r\n", "HTTP/1.1 400 "},
        {upgrade().replace("HTTP/1.1\r\n" + host(), "HTTP/1.0\r\n"), "HTTP/1.1 400 "},
        {upgrade("Origin: http://127.0.0.1:" + QByteArray::number(server->port()) +
                 "\r\nOrigin: http://evil.example\r\n"),
         "HTTP/1.1 403 "},
    };
    for (const auto& c : cases) {
        auto s = connectClient();
        s->write(c.request);
        const QByteArray got = untilClosed(*s);
        EXPECT_TRUE(got.startsWith(c.status)) << got.toStdString();
        EXPECT_EQ(got.count("HTTP/1.1 "), 1) << got.toStdString();
        EXPECT_TRUE(got.contains("\r\nConnection: close\r\n"));
    }
    // A client frame without a mask ends the live feed with 1002.
    QByteArray head;
    auto live = ask(upgrade(), head);
    ASSERT_TRUE(head.startsWith("HTTP/1.1 101 "));
    live->write(clientFrame('\x89', "x", false));
    EXPECT_TRUE(untilClosed(*live).endsWith(QByteArray("\x88\x02\x03\xEA", 4)));
    // A close with a code no client may send gets 1002; a text that is no UTF-8 gets 1007.
    for (const auto& [frame, answer] :
         {std::pair{clientFrame('\x88', QByteArray("\x03\xED", 2)), QByteArray("\x03\xEA", 2)},
          std::pair{clientFrame('\x81', "\xC0\xAF"), QByteArray("\x03\xEF", 2)}}) {
        auto feed = ask(upgrade(), head);
        ASSERT_TRUE(head.startsWith("HTTP/1.1 101 "));
        feed->write(frame);
        EXPECT_TRUE(untilClosed(*feed).endsWith("\x88\x02" + answer));
    }
}

TEST_F(HostileClientTest, SlowHeadsAreClosedByTheirDeadlineAndGoFirstAtTheCap) {
    settings.maxConnections = 3;
    ASSERT_TRUE(startServer());
    // One byte every three seconds keeps the connection busy, but not past its deadline.
    auto slow = connectClient();
    QByteArray sent = "GET / HTTP/1.1\r\n";
    slow->write(sent);
    for (int i = 0; i < 4; ++i) {
        // The server holds every byte sent, unparsed until the head is whole.
        ASSERT_TRUE(pumpUntil([&] { return server->queuedBytes() == sent.size(); })) << i;
        server->closeIdleConnections();
        EXPECT_EQ(slow->state(), QAbstractSocket::ConnectedState) << i;
        clock.advance(std::chrono::milliseconds(3000));
        slow->write("X");
        sent += "X";
    }
    ASSERT_TRUE(pumpUntil([&] { return server->queuedBytes() == sent.size(); }));
    server->closeIdleConnections();  // 12 s after its first byte
    EXPECT_TRUE(pumpUntil([&] { return slow->state() == QAbstractSocket::UnconnectedState; }));

    // At the cap, an unfinished head goes before a connection idle longer.
    auto idle = connectClient();
    EXPECT_TRUE(exchange(get("/api/v1/live"), idle.get()).startsWith("HTTP/1.1 200"));
    clock.advance(std::chrono::milliseconds(100));
    auto trickle = connectClient();
    trickle->write("GET / HT");
    auto other = connectClient();
    ASSERT_TRUE(pumpUntil([&] { return server->connectionCount() == 3; }));
    clock.advance(std::chrono::milliseconds(web::kFreshConnectionMs));
    EXPECT_TRUE(exchange(get("/api/v1/live")).startsWith("HTTP/1.1 200"));
    EXPECT_TRUE(pumpUntil([&] { return trickle->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(idle->state(), QAbstractSocket::ConnectedState);

    // When every connection is fresh, a new one is turned away rather than churn.
    idle.reset();
    other.reset();
    ASSERT_TRUE(pumpUntil([&] { return server->connectionCount() == 0; }));
    std::vector<std::unique_ptr<QTcpSocket>> fresh;
    for (int i = 0; i < settings.maxConnections; ++i) fresh.push_back(connectClient());
    ASSERT_TRUE(pumpUntil([&] { return server->connectionCount() == settings.maxConnections; }));
    QTcpSocket refused;
    bool wasConnected = false;
    QObject::connect(&refused, &QTcpSocket::connected, [&] { wasConnected = true; });
    refused.connectToHost(QHostAddress::LocalHost, server->port());
    EXPECT_TRUE(pumpUntil(
        [&] { return wasConnected && refused.state() == QAbstractSocket::UnconnectedState; }));
    for (const auto& s : fresh) EXPECT_EQ(s->state(), QAbstractSocket::ConnectedState);
}

TEST_F(HostileClientTest, LiveAnswersWhileAPipelinedBurstIsAnswered) {
    settings.requestBurst = 1000;
    fillMinuteTable();
    ASSERT_TRUE(startServer());
    auto burst = connectClient();
    QByteArray requests;
    for (int i = 0; i < 200; ++i)
        requests += get("/api/v1/series?scale=min&quantities=V1,V2,V3,A1,A2,A3,Watt,KWh");
    burst->write(requests);
    QByteArray answers;
    ASSERT_TRUE(pumpUntil([&] {
        answers += burst->readAll();
        return answers.count("HTTP/1.1 200 OK") >= 2;
    }));
    const QByteArray live = exchange(get("/api/v1/live"));
    answers += burst->readAll();
    EXPECT_TRUE(live.startsWith("HTTP/1.1 200 OK"));
    EXPECT_LT(answers.count("HTTP/1.1 200 OK"), 200);
    // And the burst is answered whole, in order.
    EXPECT_TRUE(pumpUntil(
        [&] {
            answers += burst->readAll();
            return answers.count("HTTP/1.1 200 OK") == 200;
        },
        60000));
}

TEST_F(HostileClientTest, APasswordFileOthersMayReadIsRefusedAndSpacesArePartOfThePassword) {
    QTemporaryDir dir;
    QFile f(dir.filePath("pw"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(" two words \r\n");
    f.close();
    settings.passwordFile = f.fileName();
    ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    EXPECT_FALSE(startServer());
    EXPECT_NE(logged.back().find("chmod 600 " + f.fileName().toStdString()), std::string::npos)
        << logged.back();
    ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(startServer());
    const QByteArray spaced = "Basic " + QByteArray("u: two words ").toBase64() + "\r\n";
    const QByteArray trimmed = "Basic " + QByteArray("u:two words").toBase64() + "\r\n";
    EXPECT_TRUE(
        exchange(get("/api/v1/live", "Authorization: " + spaced)).startsWith("HTTP/1.1 200"));
    EXPECT_TRUE(
        exchange(get("/api/v1/live", "Authorization: " + trimmed)).startsWith("HTTP/1.1 401"));
}

// Minute rows enough for an export of several megabytes; a few rows at any other resolution.
archive::ArchiveSeries longOrShortSeries(const std::string&, const archive::SeriesQuery& query,
                                         std::string&) {
    archive::ArchiveSeries s;
    s.meter = query.meter;
    s.resolution = query.resolution;
    s.quantities = {archive::findQuantity("V1"), archive::findQuantity("A1")};
    const int rows = query.resolution == archive::Resolution::Minute ? 150000 : 24;
    for (int r = 0; r < rows; ++r) s.time.push_back(1790000000 + 60 * std::int64_t{r});
    s.values.assign(2, std::vector<double>(static_cast<std::size_t>(rows), 230.25));
    return s;
}

class FairShareTest : public HostileClientTest {
  protected:
    void SetUp() override {
        HostileClientTest::SetUp();
        settings.requestBurst = 1000;
        adjustSources = [](web::WebSources& s) {
            s.archiveFolder = "long";
            s.archiveQueries.series = longOrShortSeries;
        };
    }
    // A minute export asked from `from` by a client that reads nothing (its kernel takes a
    // little); null when it got 503.
    std::unique_ptr<QTcpSocket> slowExport(const char* from) {
        auto s = std::make_unique<QTcpSocket>();
        s->bind(QHostAddress(from), 0);
        s->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        s->setReadBufferSize(1024);
        s->connectToHost(QHostAddress::LocalHost, server->port());
        pumpUntil([&] { return s->state() == QAbstractSocket::ConnectedState; });
        s->write(get("/api/v1/meters/HOQ00000000A/export.csv?resolution=minute"));
        QByteArray head;
        pumpUntil([&] {
            head += s->readAll();
            return head.contains("\r\n\r\n");
        });
        if (head.startsWith("HTTP/1.1 503 ")) return nullptr;
        EXPECT_TRUE(head.startsWith("HTTP/1.1 200 ")) << head.left(100).toStdString();
        return s;
    }
};

TEST_F(FairShareTest, SlowExportsFromThreeAddressesNeverKeepTheDashboardsChartsWaiting) {
    ASSERT_TRUE(startServer());
    std::vector<std::unique_ptr<QTcpSocket>> exports;
    for (const char* from : {"127.0.0.1", "127.0.0.2", "127.0.0.3"})
        for (int i = 0; i < web::kDownloadsPerAddress; ++i)
            if (auto s = slowExport(from)) exports.push_back(std::move(s));
    ASSERT_EQ(exports.size(), static_cast<std::size_t>(web::kDownloads));
    ASSERT_EQ(server->downloadsHeld(), web::kDownloads);
    // Another address's dashboard: its charts, energy and costs are answered every time.
    auto dashboard = std::make_unique<QTcpSocket>();
    dashboard->bind(QHostAddress("127.0.0.9"), 0);
    dashboard->connectToHost(QHostAddress::LocalHost, server->port());
    ASSERT_TRUE(pumpUntil([&] { return dashboard->state() == QAbstractSocket::ConnectedState; }));
    const QByteArray small[] = {
        "/api/v1/meters/HOQ00000000A/series?resolution=hour&quantities=V1,A1",
        "/api/v1/meters/HOQ00000000A/energy?period=day",
        "/api/v1/series?scale=min&quantities=V1",
    };
    for (int round = 0; round < 20; ++round) {
        for (const QByteArray& target : small) {
            const QByteArray got = exchange(get(target), dashboard.get());
            EXPECT_TRUE(got.startsWith("HTTP/1.1 200 "))
                << target.toStdString() << " " << got.left(200).toStdString();
        }
    }
    // The exports still hold every download place: a series of minutes, a download, waits.
    EXPECT_EQ(server->downloadsHeld(), web::kDownloads);
    const QByteArray minutes =
        exchange(get("/api/v1/meters/HOQ00000000A/series?resolution=minute"), dashboard.get());
    EXPECT_TRUE(minutes.startsWith("HTTP/1.1 503 ")) << minutes.left(200).toStdString();
    EXPECT_TRUE(minutes.contains("\r\nRetry-After: 2\r\n"));
}

TEST_F(FairShareTest, ADownloadTakenTooSlowlyIsClosedAndItsPlaceGivenBack) {
    settings.minDownloadBytesPerSecond = 1024 * 1024;
    settings.downloadRateWindowMs = 1000;
    ASSERT_TRUE(startServer());
    auto stalled = slowExport("127.0.0.1");
    ASSERT_TRUE(stalled);
    ASSERT_EQ(server->downloadsHeld(), 1);
    // A second at a time: once the network holds all it takes, a window passes with no bytes.
    for (int second = 0; second < 60 && server->downloadsHeld() > 0; ++second) {
        pumpUntil([] { return false; }, 20);
        clock.advance(std::chrono::milliseconds(1000));
        server->closeIdleConnections();
    }
    EXPECT_EQ(server->downloadsHeld(), 0);
    EXPECT_TRUE(pumpUntil([&] {
        stalled->readAll();
        return stalled->state() == QAbstractSocket::UnconnectedState;
    }));
    // A client that reads gets its export whole.
    QByteArray got = exchange(get("/api/v1/meters/HOQ00000000A/export.csv?resolution=minute"));
    EXPECT_TRUE(got.startsWith("HTTP/1.1 200 ")) << got.left(200).toStdString();
    EXPECT_TRUE(got.endsWith("\r\n0\r\n\r\n"));
}

TEST_F(FairShareTest, ABrowsersLiveFeedOutlastsWebSocketChurnFromTwentyAddresses) {
    settings.maxWebSockets = 24;
    ASSERT_TRUE(startServer());
    QWebSocket browser;
    int disconnects = 0;
    QObject::connect(&browser, &QWebSocket::disconnected, [&] { ++disconnects; });
    int messages = 0;
    QObject::connect(&browser, &QWebSocket::textMessageReceived, [&] { ++messages; });
    browser.open(QUrl("ws://127.0.0.1:" + QString::number(server->port()) + "/api/v1/ws"));
    ASSERT_TRUE(pumpUntil([&] { return messages > 0; }));
    // 40 s of upgrades, one every 50 ms, from 127.0.0.10 to 127.0.0.29 in turn; pushes and the
    // once-a-second check go on meanwhile.
    std::vector<std::unique_ptr<QTcpSocket>> churn;
    int upgraded = 0;
    for (int i = 0; i < 800; ++i) {
        clock.advance(std::chrono::milliseconds(50));
        QByteArray head;
        churn.push_back(
            ask(upgrade(), head, QHostAddress("127.0.0." + QString::number(10 + i % 20))));
        upgraded += head.startsWith("HTTP/1.1 101 ") ? 1 : 0;
        if (i % 20 == 19) {
            server->alertsChanged();
            server->closeIdleConnections();
        }
        if (churn.size() > 200) churn.erase(churn.begin());
    }
    EXPECT_EQ(upgraded, 800);
    EXPECT_LE(server->webSocketCount(), settings.maxWebSockets);
    EXPECT_EQ(disconnects, 0);
    EXPECT_EQ(browser.state(), QAbstractSocket::ConnectedState);
}

}  // namespace
}  // namespace tev::testing
