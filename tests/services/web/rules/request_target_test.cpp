#include "services/web/rules/request_target.h"

#include <gtest/gtest.h>

namespace tev::web {
namespace {

TEST(RequestTarget, SplitsPathAndDecodesQueryParameters) {
    const ParsedTarget p =
        parseRequestTarget("/api/v1/series?scale=hour&quantities=Watt%2CV1&x=a+b#frag");
    ASSERT_EQ(p.problem, TargetProblem::None);
    EXPECT_EQ(p.target.path, "/api/v1/series");
    EXPECT_EQ(p.target.value("scale"), "hour");
    EXPECT_EQ(p.target.value("quantities"), "Watt,V1");
    EXPECT_EQ(p.target.value("x"), "a b");
    EXPECT_FALSE(p.target.value("missing").has_value());
    EXPECT_EQ(splitList("Watt,,V1,"), (std::vector<std::string>{"Watt", "V1"}));
}

TEST(RequestTarget, RefusesPathsThatCouldReachOutsideTheCompiledInFiles) {
    for (const char* bad :
         {"", "api", "/../etc/passwd", "/a/..", "/%2e%2e/x", "/a\\b", "/a b", "/a\x7f"})
        EXPECT_EQ(parseRequestTarget(bad).problem, TargetProblem::Malformed) << bad;
}

TEST(RequestTarget, RefusesBrokenEscapesNulBytesAndTooMuch) {
    EXPECT_EQ(parseRequestTarget("/x?a=%4").problem, TargetProblem::Malformed);
    EXPECT_EQ(parseRequestTarget("/x?a=%zz").problem, TargetProblem::Malformed);
    EXPECT_EQ(parseRequestTarget("/x?a=%00").problem, TargetProblem::Malformed);
    EXPECT_EQ(parseRequestTarget("/x?a=%").problem, TargetProblem::Malformed);
    EXPECT_EQ(parseRequestTarget("/" + std::string(kMaxTargetBytes, 'a')).problem,
              TargetProblem::TooLong);
    std::string many = "/x?";
    for (std::size_t i = 0; i <= kMaxQueryParameters; ++i) many += "k=v&";
    const ParsedTarget p = parseRequestTarget(many);
    EXPECT_EQ(p.problem, TargetProblem::TooManyParameters);
    EXPECT_TRUE(p.target.query.empty());
}

TEST(RequestTarget, IntegersMustBeWholeAndFitIn64Bits) {
    EXPECT_EQ(parseInteger("-12"), -12);
    EXPECT_FALSE(parseInteger("12a"));
    EXPECT_FALSE(parseInteger(""));
    EXPECT_FALSE(parseInteger("99999999999999999999"));
}

}  // namespace
}  // namespace tev::web
