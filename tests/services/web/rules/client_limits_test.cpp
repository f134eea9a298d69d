// The rules that keep one client from hurting the others: request framing, the Host and Origin
// a dashboard answers to, the per-address tables, the connection deadlines and eviction, and
// the password file.
#include <gtest/gtest.h>

#include "services/web/rules/access_rules.h"
#include "services/web/rules/connection_rules.h"
#include "services/web/rules/host_rules.h"
#include "services/web/rules/http_head.h"

namespace tev::web {
namespace {

TEST(ClientLimits, FramingThatTwoReadersCouldReadApartIsRefused) {
    const struct {
        const char* head;
        const char* problem;  // "" when the head is fine
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", ""},
        {"GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 0\r\n\r\n", ""},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\n", ""},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n",
         "more than one Content-Length"},
        {"GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 0\r\ncontent-length: 40\r\n\r\n",
         "more than one Content-Length"},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 5, 5\r\n\r\n",
         "Content-Length is not a number"},
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: -1\r\n\r\n",
         "Content-Length is not a number"},
        {"GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", "more than one Host"},
        {"GET / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n",
         "Transfer-Encoding on a GET or HEAD"},
        {"HEAD / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: identity\r\n\r\n",
         "Transfer-Encoding on a GET or HEAD"},
        {"GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 31\r\n\r\n", "a body on a GET or HEAD"},
        {"GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 000\r\n\r\n", ""},
    };
    for (const auto& c : cases) {
        const HeadParse p = parseHttpHead(c.head);
        ASSERT_EQ(p.state, HeadState::Complete) << c.head;
        EXPECT_EQ(framingProblem(p.head), c.problem) << c.head;
    }
}

TEST(ClientLimits, ALoopbackDashboardWithoutPasswordAnswersOnlyItsOwnHostNames) {
    HostPolicy p{true, 8080, false, {"dash.lan", "proxy.example.org:443"}};
    const struct {
        const char* host;
        bool allowed;
    } cases[] = {
        {"127.0.0.1:8080", true},
        {"localhost:8080", true},
        {"LocalHost.:8080", true},
        {"[::1]:8080", true},
        {"dash.lan:8080", true},
        {"dash.lan", true},
        {"proxy.example.org", false},  // port 80 by default, only 443 is allowed
        {"proxy.example.org:443", true},
        {"127.0.0.1:8081", false},
        {"127.0.0.1", false},
        {"evil.example:8080", false},
        {"localhost.evil.example:8080", false},
        {"", false},
        {"127.0.0.1:8080 x", false},
        {"[::1", false},
        {"127.0.0.1:0", false},
        {"127.0.0.1:99999", false},
    };
    for (const auto& c : cases) EXPECT_EQ(hostAllowed(p, c.host), c.allowed) << c.host;
    p.restricted = false;  // a password or another address: any Host
    EXPECT_TRUE(hostAllowed(p, "evil.example:8080"));

    std::vector<std::string> problems;
    EXPECT_EQ(parseAllowedHosts("Dash.LAN, proxy.example.org:443,,bad/name", problems),
              (std::vector<std::string>{"dash.lan", "proxy.example.org:443"}));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("bad/name"), std::string::npos);
    EXPECT_EQ(printableForLog("a\r\nb\x01", 80), "a??b?");
}

TEST(ClientLimits, AnUpgradeComesOnlyFromTheDashboardsOwnOriginOrFromNoBrowser) {
    const HostPolicy http{true, 8080, false, {}};
    const HostPolicy tls{false, 8443, true, {}};
    const struct {
        const HostPolicy* policy;
        const char* origin;
        const char* host;
        bool allowed;
    } cases[] = {
        {&http, "", "127.0.0.1:8080", true},  // no browser
        {&http, "http://127.0.0.1:8080", "127.0.0.1:8080", true},
        {&http, "http://LOCALHOST:8080", "localhost:8080", true},
        {&http, "http://localhost:8080", "127.0.0.1:8080", false},
        {&http, "http://evil.example", "127.0.0.1:8080", false},
        {&http, "http://evil.example:8080", "127.0.0.1:8080", false},
        {&http, "null", "127.0.0.1:8080", false},
        {&http, "file://", "127.0.0.1:8080", false},
        // A reverse proxy that speaks TLS to the browser and HTTP to the dashboard.
        {&http, "https://dash.example.org", "dash.example.org", true},
        {&http, "https://dash.example.org", "dash.example.org:80", false},
        {&tls, "https://10.0.0.5:8443", "10.0.0.5:8443", true},
        {&tls, "http://10.0.0.5:8443", "10.0.0.5:8443", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(originAllowed(*c.policy, c.origin, c.host), c.allowed)
            << c.origin << " " << c.host;
}

TEST(ClientLimits, AnAbsoluteTargetIsTakenWhenItNamesThisServer) {
    const HostPolicy p{true, 8080, false, {}};
    const auto self = originFormOf(p, "http://127.0.0.1:8080/api/v1/live?x=1");
    ASSERT_TRUE(self);
    EXPECT_EQ(self->target, "/api/v1/live?x=1");
    EXPECT_EQ(self->authority, "127.0.0.1:8080");
    EXPECT_EQ(originFormOf(p, "HTTP://localhost:8080")->target, "/");
    EXPECT_EQ(originFormOf(p, "http://localhost:8080?a=b")->target, "/?a=b");
    EXPECT_EQ(originFormOf(p, "/metrics")->target, "/metrics");
    EXPECT_TRUE(originFormOf(p, "/metrics")->authority.empty());
    for (const char* other :
         {"http://evil.example:8080/", "http://127.0.0.1:9000/", "https://127.0.0.1:8080/",
          "ftp://127.0.0.1:8080/", "*", "127.0.0.1:8080", "http:///x"})
        EXPECT_FALSE(originFormOf(p, other)) << other;
}

TEST(ClientLimits, PerAddressTablesKeepEveryLimitWhenFull) {
    // The rate: a full table of limited clients lets newcomers share one bucket, and forgets
    // no one's limit.
    RequestRateLimiter rate(1, 2);
    for (std::size_t i = 0; i < RequestRateLimiter::kMaxClients; ++i) {
        const std::string client = "10.0." + std::to_string(i);
        ASSERT_TRUE(rate.allow(client, 0));
        ASSERT_TRUE(rate.allow(client, 0));
    }
    EXPECT_FALSE(rate.allow("10.0.0", 0));
    EXPECT_TRUE(rate.allow("new-1", 0));
    EXPECT_TRUE(rate.allow("new-2", 0));
    EXPECT_FALSE(rate.allow("new-3", 0));  // the shared bucket is empty too
    EXPECT_FALSE(rate.allow("10.0.0", 0));
    EXPECT_EQ(rate.clients(), RequestRateLimiter::kMaxClients);
    // The owner keeps a bucket of its own beyond the full table: never the newcomers' empty one.
    EXPECT_TRUE(rate.allow("127.0.0.1", 0, true));
    EXPECT_TRUE(rate.allow("127.0.0.1", 0, true));
    EXPECT_FALSE(rate.allow("127.0.0.1", 0, true));  // and its own rate still holds
    EXPECT_EQ(rate.clients(), RequestRateLimiter::kMaxClients + 1);
    // Once they have filled up again, the table has room.
    EXPECT_TRUE(rate.allow("new-4", 10000));
    EXPECT_LT(rate.clients(), RequestRateLimiter::kMaxClients);

    // Wrong passwords: the 20th within a minute brakes the address for a minute, once.
    LoginBrake brake;
    std::int64_t retry = 0;
    int starts = 0;
    for (int i = 0; i < LoginBrake::kFailures; ++i)
        starts += brake.failed("a", 1000 + i).brakeStarts ? 1 : 0;
    EXPECT_EQ(starts, 1);
    EXPECT_TRUE(brake.braked("a", 2000, retry));
    EXPECT_EQ(retry, 60);
    EXPECT_FALSE(brake.failed("a", 3000).brakeStarts);  // already braked: no second log line
    EXPECT_FALSE(brake.braked("b", 2000, retry));
    EXPECT_FALSE(brake.braked("a", 1019 + LoginBrake::kBlockMs, retry));
    // 19 a minute, spread out, never brake.
    for (int i = 0; i < 100; ++i) EXPECT_FALSE(brake.failed("c", i * 3200).brakeStarts);
    EXPECT_FALSE(brake.braked("c", 320000, retry));
    // A full table keeps the braked address braked.
    LoginBrake full;
    for (int i = 0; i < LoginBrake::kFailures; ++i) full.failed("victim", 0);
    for (std::size_t i = 0; i < LoginBrake::kMaxClients + 10; ++i)
        full.failed("x" + std::to_string(i), 1);
    EXPECT_TRUE(full.braked("victim", 2, retry));
    EXPECT_LE(full.clients(), LoginBrake::kMaxClients);
}

TEST(ClientLimits, GuessersFromManyAddressesNeverBrakeTheOwner) {
    // One wrong password from each of 4,096 addresses within 0.9 s fills the table; then more
    // from new ones. IPv4, and IPv6 by /64 (a /52 holds 4,096 of them).
    const struct {
        const char* family;
        std::string (*guesser)(std::size_t);
        std::string owner, recent, newcomer;
    } cases[] = {
        {"IPv4",
         [](std::size_t i) {
             return "10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256);
         },
         "127.0.0.1", "192.168.1.20", "192.168.1.30"},
        {"IPv6", [](std::size_t i) { return "2001:db8:0:" + std::to_string(i) + "::/64"; }, "::/64",
         "2001:db8:1:1::/64", "2001:db8:1:2::/64"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.family);
        LoginBrake brake;
        std::int64_t retry = 0;
        brake.succeeded(c.recent, 0);
        for (std::size_t i = 0; i < LoginBrake::kMaxClients; ++i) {
            const LoginFailure f =
                brake.failed(c.guesser(i), 1000 + static_cast<int>(i) * 900 / 4096);
            ASSERT_FALSE(f.refused || f.brakeStarts || f.floodStarts) << i;
        }
        EXPECT_EQ(brake.clients(), LoginBrake::kMaxClients);
        EXPECT_FALSE(brake.braked(c.newcomer, 1900, retry));  // its right password is taken
        // Untracked wrong passwords share a rate: the burst gets 401, the rest 429, with one
        // log line; none of it brakes anyone.
        int refused = 0, logs = 0;
        for (int i = 0; i < 2 * LoginBrake::kFailures; ++i) {
            const LoginFailure f = brake.failed("new-" + std::to_string(i), 1900);
            refused += f.refused ? 1 : 0;
            if (f.floodStarts) {
                ++logs;
                EXPECT_EQ(f.untrackedFailures, LoginBrake::kFailures + 1u);
            }
        }
        EXPECT_EQ(refused, LoginBrake::kFailures);
        EXPECT_EQ(logs, 1);
        for (const std::string& who : {c.owner, c.recent, c.newcomer, std::string("new-0")})
            EXPECT_FALSE(brake.braked(who, 1901, retry)) << who;
        // The owner's typo from a recent address is not held to the guessers' rate.
        EXPECT_FALSE(brake.failed(c.recent, 1901).refused);
        EXPECT_TRUE(brake.failed(c.owner, 1901).refused);
        // A tracked guesser is braked by its own wrong passwords all the same.
        int starts = 0;
        for (int i = 1; i < LoginBrake::kFailures; ++i)
            starts += brake.failed(c.guesser(7), 2000).brakeStarts ? 1 : 0;
        EXPECT_EQ(starts, 1);
        EXPECT_TRUE(brake.braked(c.guesser(7), 2001, retry));
        // A window later the counted ones are forgotten: a newcomer is tracked and braked.
        for (int i = 0; i < LoginBrake::kFailures; ++i) brake.failed(c.newcomer, 70000);
        EXPECT_TRUE(brake.braked(c.newcomer, 70001, retry));
        EXPECT_LT(brake.clients(), LoginBrake::kMaxClients);
    }
    // The trusted set is bounded; the oldest right password goes first, and trust expires.
    LoginBrake brake;
    for (std::size_t i = 0; i <= LoginBrake::kMaxTrusted; ++i)
        brake.succeeded(std::to_string(i), static_cast<std::int64_t>(i));
    EXPECT_EQ(brake.trustedClients(), LoginBrake::kMaxTrusted);
    EXPECT_FALSE(brake.trusted("0", 100));
    EXPECT_TRUE(brake.trusted("1", 100));
    EXPECT_FALSE(brake.trusted("1", 1 + LoginBrake::kTrustMs));
}

TEST(ClientLimits, DeadlinesPingsAndEvictionNeverLetOneClientHoldTheServer) {
    constexpr std::int64_t kIdle = 30000;
    ConnectionView c;
    c.acceptedMs = c.lastProgressMs = 0;
    EXPECT_EQ(closeReason(c, kIdle - 1, kIdle), CloseReason::None);
    EXPECT_EQ(closeReason(c, kIdle, kIdle), CloseReason::Idle);
    // A head trickling in keeps the connection busy with bytes but not past its deadline.
    c.headStartMs = 0;
    c.lastProgressMs = kHeadDeadlineMs;
    EXPECT_EQ(closeReason(c, kHeadDeadlineMs, kIdle), CloseReason::HeadDeadline);
    c.busy = true;  // the server's own answer is under way: no deadline for the next head
    EXPECT_EQ(closeReason(c, kHeadDeadlineMs, kIdle), CloseReason::None);
    c.closingSinceMs = 5;
    EXPECT_EQ(closeReason(c, 5 + kCloseGraceMs, kIdle), CloseReason::CloseGrace);

    ConnectionView ws;
    ws.webSocket = true;
    ws.lastProgressMs = 1000;
    EXPECT_FALSE(pingDue(ws, std::nullopt, 1000 + kIdle / 2 - 1, kIdle));
    EXPECT_TRUE(pingDue(ws, std::nullopt, 1000 + kIdle / 2, kIdle));
    EXPECT_FALSE(pingDue(ws, 1000 + kIdle / 2, 1000 + kIdle / 2 + 1, kIdle));  // sent already
    EXPECT_TRUE(pingDue(ws, 500, 1000 + kIdle / 2, kIdle));  // that ping was answered

    const std::int64_t now = 100000;
    auto at = [](std::int64_t accepted, std::int64_t progress, std::optional<std::int64_t> head) {
        ConnectionView v;
        v.acceptedMs = accepted;
        v.lastProgressMs = progress;
        v.headStartMs = head;
        return v;
    };
    // Unfinished heads go first, the oldest head first; then the one idle longest.
    EXPECT_EQ(connectionToEvict({at(0, 10, {}), at(0, 90000, 95000), at(0, 90000, 94000)}, now),
              2u);
    EXPECT_EQ(connectionToEvict({at(0, 50, {}), at(0, 10, {}), at(now - 10, 0, 0)}, now), 1u);
    // Fresh ones never go; when all are fresh there is nothing to evict.
    EXPECT_FALSE(
        connectionToEvict({at(now - 1, 0, 0), at(now - kFreshConnectionMs + 1, 0, {})}, now));
    EXPECT_FALSE(connectionToEvict({}, now));
}

// Five minutes of the once-a-second check against a live feed whose client answers each ping
// at once (the same millisecond), 20 ms later, or never.
TEST(ClientLimits, ALiveFeedThatAnswersItsPingsStaysWhateverTheDelay) {
    constexpr std::int64_t kIdle = 30000;
    struct Case {
        const char* name;
        std::optional<std::int64_t> answerAfterMs;
    };
    for (const Case& c : {Case{"at once", 0}, Case{"20 ms", 20}, Case{"never", std::nullopt}}) {
        ConnectionView ws;
        ws.webSocket = true;
        std::optional<std::int64_t> pingSent, closedAt;
        int pings = 0;
        for (std::int64_t now = 1000; now <= 5 * 60 * 1000 && !closedAt; now += 1000) {
            if (closeReason(ws, now, kIdle) != CloseReason::None) {
                closedAt = now;
            } else if (pingDue(ws, pingSent, now, kIdle)) {
                pingSent = now;
                ++pings;
                if (c.answerAfterMs) ws.lastProgressMs = now + *c.answerAfterMs;
            }
        }
        if (c.answerAfterMs) {
            EXPECT_FALSE(closedAt) << c.name << ": closed at " << *closedAt;
            EXPECT_GE(pings, 5 * 60 * 1000 / kIdle) << c.name;  // one per idle time at least
        } else {
            ASSERT_TRUE(closedAt) << c.name;
            EXPECT_LE(*closedAt, kIdle + 1000) << c.name;
            EXPECT_EQ(pings, 1) << c.name;
        }
    }
}

TEST(ClientLimits, ThePasswordIsTheFirstLineWithItsSpacesAndTheFileIsTheOwnersAlone) {
    EXPECT_EQ(passwordFromFile("s3cret\n"), "s3cret");
    EXPECT_EQ(passwordFromFile(" two words \r\nsecond line\n"), " two words ");
    EXPECT_EQ(passwordFromFile("no line end"), "no line end");
    EXPECT_EQ(passwordFromFile("\nafter an empty line"), "");
    EXPECT_FALSE(passwordFileTooOpen(0100600));
    EXPECT_FALSE(passwordFileTooOpen(0100400));
    EXPECT_TRUE(passwordFileTooOpen(0100640));
    EXPECT_TRUE(passwordFileTooOpen(0100604));
    EXPECT_TRUE(passwordFileTooOpen(0100620));
}

TEST(ClientLimits, EvictionSparesLiveFeedsAndRequestsInFlightAndTakesFromTheMostCrowdedAddress) {
    const std::int64_t now = 100000;
    auto conn = [](std::string client, std::int64_t accepted, bool feeding, bool busy) {
        ConnectionView v;
        v.client = std::move(client);
        v.acceptedMs = v.lastProgressMs = accepted;
        v.webSocket = feeding;
        v.feeding = feeding;
        v.busy = busy;
        return v;
    };
    const struct {
        const char* what;
        std::vector<ConnectionView> connections;
        std::optional<std::size_t> evicted;
    } cases[] = {
        {"churned feeds go before the browser's older one",
         {conn("browser", 0, true, false), conn("a", 5000, true, false),
          conn("a", 4000, true, false), conn("b", 3000, true, false)},
         2},
        {"idle connections without a request go before a feed",
         {conn("browser", 0, true, false), conn("a", 90000, false, false)},
         1},
        {"an idle one goes before requests in flight of a crowded address",
         {conn("a", 0, false, true), conn("a", 0, false, true), conn("c", 50000, false, false)},
         2},
        {"the oldest of the most crowded address",
         {conn("c", 0, false, false), conn("a", 9000, false, false), conn("a", 8000, false, false)},
         2},
        {"a lone feed goes when nothing else is old enough",
         {conn("browser", 0, true, false), conn("a", now - 10, false, false)},
         0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(connectionToEvict(c.connections, now), c.evicted) << c.what;
}

TEST(ClientLimits, ASlowDownloadIsFoundAtItsWindowsEndAndMemoryIsGivenBackAfterAFlood) {
    // 1000 bytes a second over windows of 1 s.
    const struct {
        std::int64_t taken, atMs;
        bool waiting, keepsUp;
    } steps[] = {
        {400, 999, true, true},    // the window has not ended
        {600, 1000, true, true},   // 1000 bytes in the first second
        {999, 2000, true, false},  // one byte short in the next
        {0, 3000, false, true},    // nothing was waiting for the client: not its fault
        {0, 3500, true, true},     // the window started again at 3000
        {1500, 4500, true, true},  // 1500 bytes over 1.5 s
    };
    DownloadPace pace(0);
    for (const auto& s : steps) {
        pace.taken(s.taken);
        EXPECT_EQ(pace.keepsUp(s.atMs, s.waiting, 1000, 1000), s.keepsUp) << s.atMs;
    }

    MemoryGiveBack giveBack;
    giveBack.seen(kGiveBackPeak * 4);
    EXPECT_FALSE(giveBack.due(kGiveBackPeak, 0));        // a quarter of the peak is not below it
    EXPECT_TRUE(giveBack.due(kGiveBackPeak - 1, 0));     // below: given back, the peak starts anew
    EXPECT_FALSE(giveBack.due(0, kGiveBackIntervalMs));  // no flood since
    giveBack.seen(kGiveBackPeak * 2);
    EXPECT_FALSE(giveBack.due(0, kGiveBackIntervalMs - 1));  // too soon after the last
    EXPECT_TRUE(giveBack.due(0, kGiveBackIntervalMs));
}

}  // namespace
}  // namespace tev::web
