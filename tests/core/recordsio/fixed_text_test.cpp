#include "core/recordsio/fixed_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/texts/number_text.h"

namespace tev::testing {
namespace {

std::string fixed(double v, int decimals) {
    std::string out;
    appendFixed(out, v, decimals);
    return out;
}

TEST(FixedTextTest, GivesTheSameTextAsThePictureFormats) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> small(-500.0f, 500.0f);
    std::uniform_int_distribution<int> exponent(-8, 30);
    for (int i = 0; i < 200000; ++i) {
        const float v = small(random) * std::pow(10.0f, static_cast<float>(exponent(random)) / 3);
        for (int d = 0; d <= 2; ++d) ASSERT_EQ(fixed(v, d), formatFixed(v, d)) << v << " " << d;
    }
    for (double v : {0.0, -0.0, 0.005, -0.005, 0.125, 9.995, 1e15, -1e20, 3.4e38, std::nan(""),
                     -static_cast<double>(INFINITY)}) {
        for (int d = 0; d <= 2; ++d) EXPECT_EQ(fixed(v, d), formatFixed(v, d)) << v << " " << d;
    }
    EXPECT_EQ(fixed(-0.004, 2), "0.00");
    EXPECT_EQ(fixed(0.125, 2), "0.13");
    EXPECT_EQ(fixed(-2.5, 0), "-3");
}

}  // namespace
}  // namespace tev::testing
