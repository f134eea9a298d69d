#include "services/web/rules/http_head.h"

#include <gtest/gtest.h>

#include "services/web/rules/access_rules.h"

namespace tev::web {
namespace {

TEST(HttpHead, ReadsRequestLineAndFieldsAndStopsAtTheBlankLine) {
    const std::string two =
        "GET /api/v1/live?x=1 HTTP/1.1\r\nHost: a\r\nconnection:  Keep-Alive , Upgrade\r\n"
        "UPGRADE: WebSocket\r\n\r\nGET / HTTP/1.1\r\n";
    const HeadParse p = parseHttpHead(two);
    ASSERT_EQ(p.state, HeadState::Complete);
    EXPECT_EQ(p.head.method, "GET");
    EXPECT_EQ(p.head.target, "/api/v1/live?x=1");
    EXPECT_EQ(p.head.field("Connection"), "Keep-Alive , Upgrade");
    EXPECT_TRUE(p.head.isWebSocketUpgrade());
    EXPECT_TRUE(p.head.keepAlive());
    EXPECT_FALSE(p.head.hasBody());
    EXPECT_EQ(two.substr(p.consumed), "GET / HTTP/1.1\r\n");
    EXPECT_EQ(parseHttpHead(two.substr(p.consumed)).state, HeadState::Incomplete);
}

TEST(HttpHead, KeepAliveFollowsTheVersionAndTheConnectionField) {
    EXPECT_FALSE(parseHttpHead("GET / HTTP/1.0\r\n\r\n").head.keepAlive());
    EXPECT_TRUE(parseHttpHead("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n").head.keepAlive());
    EXPECT_FALSE(
        parseHttpHead("GET / HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n").head.keepAlive());
    EXPECT_TRUE(
        parseHttpHead("POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\n").head.hasBody());
}

TEST(HttpHead, OversizedRequestLinesAndHeadsAreTooLargeEvenBeforeTheyEnd) {
    const std::string longLine = "GET /" + std::string(kMaxRequestLineBytes, 'a');
    EXPECT_EQ(parseHttpHead(longLine).state, HeadState::TooLarge);
    EXPECT_EQ(parseHttpHead(longLine + " HTTP/1.1\r\nHost: a\r\n\r\n").state, HeadState::TooLarge);
    const std::string bigField =
        "GET / HTTP/1.1\r\nHost: a\r\nX: " + std::string(kMaxHeadBytes, 'b');
    EXPECT_EQ(parseHttpHead(bigField).state, HeadState::TooLarge);
    std::string manyFields = "GET / HTTP/1.1\r\nHost: a\r\n";
    for (std::size_t i = 0; i < kMaxHeaderFields; ++i)
        manyFields += "X-" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(parseHttpHead(manyFields + "\r\n").state, HeadState::TooLarge);
}

TEST(HttpHead, MalformedHeadsAreRefused) {
    for (const char* bad :
         {"GET\r\n\r\n", "GET / HTTP/2.0\r\n\r\n", "G(T / HTTP/1.1\r\nHost: a\r\n\r\n",
          "GET / HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\nHost: a\r\nno colon\r\n\r\n",
          "GET / HTTP/1.1\r\nHost: a\r\nBad Name: 1\r\n\r\n",
          // folded lines, even right after the request line
          "GET / HTTP/1.1\r\n Host: a\r\n\r\n", "GET / HTTP/1.1\r\nHost: a\r\nX: 1\r\n\t2\r\n\r\n",
          // CR inside a value
          "GET / HTTP/1.1\r\nHost: a\rb\r\n\r\n", "GET / HTTP/1.1\r\nHost: a\r\r\n\r\n",
          // bare LF line ends, refused before the head is whole
          "GET / HTTP/1.1\nHost: a\n\n", "GET / HTTP/1.1\r\nHost: a\n", "\nGET / HTTP/1.1\r\n",
          "GET / HTTP/1.1\r\nHost: a\r\n\n"})
        EXPECT_EQ(parseHttpHead(bad).state, HeadState::Malformed) << bad;
    const char nul[] = "GET / HTTP/1.1\r\nHost: a\r\nX: a\0b\r\n\r\n";
    EXPECT_EQ(parseHttpHead(std::string_view(nul, sizeof nul - 1)).state, HeadState::Malformed);
}

TEST(HttpHead, UpgradesNeedHttp11AndOneOrigin) {
    const struct {
        const char* head;
        int status;
    } cases[] = {
        {"GET /ws HTTP/1.1\r\nHost: a\r\nOrigin: http://a\r\n\r\n", 0},
        {"GET /ws HTTP/1.1\r\nHost: a\r\n\r\n", 0},
        {"GET /ws HTTP/1.0\r\n\r\n", 400},
        {"GET /ws HTTP/1.0\r\nHost: a\r\n\r\n", 400},
        {"GET /ws HTTP/1.1\r\nHost: a\r\nOrigin: http://a\r\norigin: http://b\r\n\r\n", 403},
    };
    for (const auto& c : cases) {
        const HeadParse p = parseHttpHead(c.head);
        ASSERT_EQ(p.state, HeadState::Complete) << c.head;
        const auto problem = upgradeProblem(p.head);
        EXPECT_EQ(problem ? problem->first : 0, c.status) << c.head;
    }
}

TEST(AccessRules, NoListeningBeyondLoopbackWithoutPasswordOrAllowAnonymous) {
    EXPECT_TRUE(decideListen(true, false, false).listen);
    EXPECT_TRUE(decideListen(false, true, false).listen);
    EXPECT_TRUE(decideListen(false, false, true).listen);
    const ListenDecision no = decideListen(false, false, false);
    EXPECT_FALSE(no.listen);
    EXPECT_NE(no.reason.find("password_file"), std::string::npos);
    EXPECT_NE(no.reason.find("allow_anonymous=true"), std::string::npos);
}

TEST(AccessRules, BasicAuthorizationTakesOnlyTheRightPassword) {
    // "tev:s3cret" and "anyone:s3cret"
    EXPECT_TRUE(basicAuthorizationMatches("Basic dGV2OnMzY3JldA==", "s3cret"));
    EXPECT_TRUE(basicAuthorizationMatches("basic YW55b25lOnMzY3JldA==", "s3cret"));
    EXPECT_FALSE(basicAuthorizationMatches("Basic dGV2OnMzY3JldA==", "s3cret!"));
    EXPECT_FALSE(basicAuthorizationMatches("Basic dGV2OnMzY3JldA==", "s3cre"));
    EXPECT_FALSE(basicAuthorizationMatches("Bearer dGV2OnMzY3JldA==", "s3cret"));
    EXPECT_FALSE(basicAuthorizationMatches("Basic !!!!", "s3cret"));
    EXPECT_FALSE(basicAuthorizationMatches("Basic dGV2", "s3cret"));  // no colon
    EXPECT_FALSE(basicAuthorizationMatches("", ""));
    EXPECT_TRUE(constantTimeEquals("abc", "abc"));
    EXPECT_FALSE(constantTimeEquals("abc", "abd"));
    EXPECT_FALSE(constantTimeEquals("abc", std::string_view("abc\0", 4)));
}

TEST(AccessRules, RateLimiterAllowsTheBurstThenTheRate) {
    RequestRateLimiter limiter(10, 5);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(limiter.allow("a", 1000));
    EXPECT_FALSE(limiter.allow("a", 1000));
    EXPECT_TRUE(limiter.allow("b", 1000));  // each client its own bucket
    EXPECT_TRUE(limiter.allow("a", 1100));  // 100 ms give one token
    EXPECT_FALSE(limiter.allow("a", 1100));
    EXPECT_TRUE(limiter.allow("a", 100000));
    // Many clients never make it hold more than its bound.
    for (int i = 0; i < 10000; ++i) limiter.allow(std::to_string(i), 200000 + i);
    EXPECT_TRUE(limiter.allow("new", 300000));
}

TEST(AccessRules, SaveFailureLinesAreCounted) {
    EXPECT_TRUE(isSaveFailureLine(
        "2026-12-08 10:00:00 Save HOQ TEV3P records= 記錄儲存 fail: disk full !"));
    EXPECT_TRUE(isSaveFailureLine("08 10:00 Save TEV user setting fail: read-only !"));
    EXPECT_FALSE(isSaveFailureLine("08 10:00 Save TEV user setting OK !"));
}

}  // namespace
}  // namespace tev::web
