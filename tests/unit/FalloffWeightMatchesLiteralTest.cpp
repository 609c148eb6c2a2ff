#include "process/FalloffWeight.h"
#include "tests/support/Bits.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

using namespace umbrix::process;

using testsupport::bits;

// The replacement is only used where it is proven: every float of its range gives powf's bits.
TEST(FalloffWeightMatchesLiteral, EqualsPowfForEveryFloatOfTheFastRange) {
    std::uint64_t differ = 0;
    std::uint64_t fast = 0;
    for (std::uint32_t pattern = bits(falloff::FastFirst); pattern < bits(falloff::FastEnd);
         ++pattern) {
        const float t = std::bit_cast<float>(pattern);
        float weight;
        fast += falloff::fastWeight(t, weight) ? 1 : 0;
        differ += bits(falloffWeight(t)) != bits(powf(t, -2.0f)) ? 1 : 0;
    }
    EXPECT_EQ(differ, 0u);
    // The shortcut must also be taken: few enough t lie near a rounding midpoint.
    EXPECT_GT(fast, 0.95 * (bits(falloff::FastEnd) - bits(falloff::FastFirst)));
}

TEST(FalloffWeightMatchesLiteral, EqualsPowfOutsideTheFastRange) {
    const float denorm = std::numeric_limits<float>::denorm_min();
    const float infinity = std::numeric_limits<float>::infinity();
    for (const float t :
         {0.0f, -0.0f, denorm, -denorm, 0.5f, std::nextafter(1.0f, 0.0f), 16.0f,
          std::nextafter(16.0f, 17.0f), 1e6f, 1e30f, std::numeric_limits<float>::max(), infinity,
          -1.0f, -3.5f, -infinity, std::numeric_limits<float>::quiet_NaN(),
          std::bit_cast<float>(0xffc00000u), std::bit_cast<float>(0x7fc12345u)}) {
        float weight;
        EXPECT_FALSE(falloff::fastWeight(t, weight)) << t;
        EXPECT_EQ(bits(falloffWeight(t)), bits(powf(t, -2.0f))) << t;
    }
}
