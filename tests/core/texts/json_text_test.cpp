#include "core/texts/json_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace tev {
namespace {

// The fixed-point writer behind the MQTT state (one to three decimals), the cost (two) and the
// alert JSON (three, trailing zeros left out).
TEST(JsonText, FixedNumbersRoundAsPrintfAndTrimOnlyWhenAsked) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double value;
        int decimals;
        bool trim;
        const char* text;
    } const cases[] = {
        {230.06, 1, false, "230.1"},   {12.345, 2, false, "12.35"}, {5.0, 2, false, "5.00"},
        {41.2, 3, true, "41.2"},       {40.0, 3, true, "40"},       {-0.0001, 3, true, "0"},
        {-0.0001, 3, false, "-0.000"}, {1e300, 1, false, nullptr},  {nan, 2, false, "null"},
        {inf, 3, true, "null"},        {-inf, 0, false, "null"},
    };
    for (const Case& c : cases) {
        std::string out = "x";
        appendJsonFixed(out, c.value, c.decimals, c.trim);
        if (c.text == nullptr)
            EXPECT_EQ(out.substr(0, 3), "x10") << c.value;  // written whole, not cut to null
        else
            EXPECT_EQ(out, std::string("x") + c.text) << c.value << " " << c.decimals;
    }
}

TEST(JsonText, ValidUtf8KeepsControlsAndReplacesEveryBrokenByte) {
    EXPECT_EQ(validUtf8(std::string_view("a\x01\xff\xc3\xa9\xed\xa0\x80", 8)),
              "a\x01\xef\xbf\xbd\xc3\xa9\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    std::string out;
    appendJsonInteger(out, -9007199254740993);
    EXPECT_EQ(out, "-9007199254740993");
}

}  // namespace
}  // namespace tev
