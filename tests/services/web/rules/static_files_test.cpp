#include "services/web/rules/static_files.h"

#include <gtest/gtest.h>

namespace tev::web {
namespace {

HttpHead headWith(std::initializer_list<std::pair<std::string, std::string>> fields) {
    HttpHead h;
    h.method = "GET";
    h.target = "/app.js";
    h.version = "HTTP/1.1";
    h.fields = {{"Host", "127.0.0.1:8080"}};
    for (const auto& f : fields) h.fields.push_back(f);
    return h;
}

std::string header(const ApiResponse& r, const std::string& name) {
    for (const auto& [k, v] : r.headers)
        if (k == name) return v;
    return "(none)";
}

TEST(StaticFiles, AcceptEncodingGivesGzipOnlyWhenItsGrammarAndWeightAllowIt) {
    const struct {
        std::vector<std::string> fields;
        bool gzip;
    } cases[] = {
        {{}, false},
        {{"gzip"}, true},
        {{"gzip, deflate, br, zstd"}, true},  // what chromium sends
        {{"GZip;Q=1.000"}, true},
        {{"x-gzip"}, true},
        {{"deflate", "gzip;q=0.5"}, true},  // two fields are one list
        {{"*"}, true},
        {{"br;q=1, *;q=0.001"}, true},
        {{" , gzip ,, "}, true},  // empty list elements
        {{""}, false},
        {{"identity"}, false},
        {{"br, deflate"}, false},
        {{"gzip;q=0"}, false},
        {{"gzip;q=0.000"}, false},
        {{"gzip;q=0, *"}, false},  // gzip named: "*" does not overrule it
        {{"*;q=0"}, false},
        {{"gzip", "gzip;q=0"}, false},  // the lowest weight of gzip counts
        // Broken grammar: the whole field is taken as not given.
        {{"gzip;q=1.5"}, false},
        {{"gzip;q=0.0001"}, false},
        {{"gzip;q=-1"}, false},
        {{"gzip;q="}, false},
        {{"gzip;level=9"}, false},
        {{"gzip;q=1;q=1"}, false},
        {{"gzip;"}, false},
        {{"gz\x01ip, gzip"}, false},
        {{"gzip, \xff\xfe"}, false},
        {{"gzip, ;q=1"}, false},
        {{"gzip", "br;q=2"}, false},
        {{std::string(10000, ',') + "gzip"}, true},
        {{std::string(10000, ';')}, false},
    };
    for (const auto& c : cases) {
        HttpHead h = headWith({});
        for (const std::string& f : c.fields) h.fields.emplace_back("accept-encoding", f);
        const std::string shown = c.fields.empty() ? "(none)" : c.fields.front().substr(0, 40);
        EXPECT_EQ(acceptsGzip(h), c.gzip) << shown;
    }
}

TEST(StaticFiles, IfNoneMatchHitsEitherFormsTagByWeakComparisonAndNothingWhenBroken) {
    const StaticFile f = makeStaticFile(std::string(4000, 'x'), std::string(40, 'g'), "text/plain");
    ASSERT_EQ(f.etag.size(), 18u);
    ASSERT_EQ(f.gzipEtag, f.etag.substr(0, 17) + "-gz\"");
    const struct {
        std::vector<std::string> fields;
        bool hit;
    } cases[] = {
        {{}, false},
        {{f.etag}, true},
        {{f.gzipEtag}, true},
        {{"W/" + f.etag}, true},
        {{"\"other\", " + f.etag}, true},
        {{"\"a,b\"  ,W/\"c\"," + f.gzipEtag + " "}, true},  // a comma inside a tag
        {{"\"other\"", f.etag}, true},                      // two fields are one list
        {{"*"}, true},
        {{" * "}, true},
        {{"\"other\""}, false},
        {{f.etag.substr(1, 16)}, false},  // unquoted
        {{"w/" + f.etag}, false},         // W/ is upper case
        {{"\"" + f.etag}, false},
        {{f.etag + " junk"}, false},
        {{"*, " + f.etag}, false},
        {{f.etag, "\"unterminated"}, false},  // one broken field spoils the list
        {{"\"\x01\", " + f.etag}, false},
        {{""}, false},
        {{std::string(8000, '"')}, false},
        {{std::string(8000, ',')}, false},
    };
    for (const auto& c : cases) {
        HttpHead h = headWith({});
        for (const std::string& v : c.fields) h.fields.emplace_back("If-None-Match", v);
        const std::string shown = c.fields.empty() ? "(none)" : c.fields.front().substr(0, 40);
        EXPECT_EQ(noneMatchHits(h, f.etag, f.gzipEtag), c.hit) << shown;
    }
}

TEST(StaticFiles, AnswersGzipIdentityOr304WithTagVaryAndNoCache) {
    const std::string body = "console.log(1);" + std::string(3000, ' ');
    const StaticFile f = makeStaticFile(body, "GZIPPED", "text/javascript; charset=utf-8");
    EXPECT_EQ(f.etag, entityTag(body));
    EXPECT_NE(entityTag(body), entityTag(body + " "));

    const ApiResponse gz = staticAnswer(f, headWith({{"Accept-Encoding", "gzip"}}));
    EXPECT_EQ(gz.status, 200);
    EXPECT_EQ(gz.body, "GZIPPED");
    EXPECT_EQ(gz.contentType, "text/javascript; charset=utf-8");
    EXPECT_EQ(header(gz, "Content-Encoding"), "gzip");
    EXPECT_EQ(header(gz, "ETag"), f.gzipEtag);
    EXPECT_EQ(header(gz, "Vary"), "Accept-Encoding");
    EXPECT_EQ(header(gz, "Cache-Control"), "no-cache");

    const ApiResponse plain = staticAnswer(f, headWith({{"Accept-Encoding", "gzip;q=x"}}));
    EXPECT_EQ(plain.body, body);
    EXPECT_EQ(header(plain, "Content-Encoding"), "(none)");
    EXPECT_EQ(header(plain, "ETag"), f.etag);

    const ApiResponse same = staticAnswer(
        f, headWith({{"Accept-Encoding", "gzip"}, {"If-None-Match", "W/" + f.gzipEtag}}));
    EXPECT_EQ(same.status, 304);
    EXPECT_TRUE(same.body.empty());
    EXPECT_EQ(header(same, "ETag"), f.gzipEtag);

    // gzip that does not make a file smaller is not kept: the bytes go as they are, and a
    // tag of the dropped form no longer matches.
    const StaticFile tiny = makeStaticFile("ab", "longer than ab", "text/plain");
    EXPECT_TRUE(tiny.gzipBody.empty());
    const ApiResponse t = staticAnswer(
        tiny, headWith({{"Accept-Encoding", "gzip"}, {"If-None-Match", tiny.gzipEtag}}));
    EXPECT_EQ(t.status, 200);
    EXPECT_EQ(t.body, "ab");
    EXPECT_EQ(header(t, "Content-Encoding"), "(none)");
}

}  // namespace
}  // namespace tev::web
