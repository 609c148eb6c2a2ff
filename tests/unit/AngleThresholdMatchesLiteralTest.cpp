#include "process/AngleThreshold.h"
#include "tests/support/Bits.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <thread>
#include <vector>

using namespace umbrix::process;

namespace {

using testsupport::bits;

constexpr float Infinity = std::numeric_limits<float>::infinity();

// Floats in increasing order as consecutive integers; -0.0 and +0.0 share 0.
std::int64_t keyOf(float value) {
    const auto b = static_cast<std::int64_t>(bits(value));
    return b < 0x80000000ll ? b : -(b - 0x80000000ll);
}

float floatOf(std::int64_t key) {
    if (key >= 0)
        return std::bit_cast<float>(static_cast<std::uint32_t>(key));
    return std::bit_cast<float>(static_cast<std::uint32_t>(-key) | 0x80000000u);
}

// Calls check(first, last) on pieces of [first, last] on every core; returns the sum of what the
// calls return.
template <class Check>
std::int64_t inParallel(std::int64_t first, std::int64_t last, const Check& check) {
    const std::int64_t parts = std::max(1u, std::thread::hardware_concurrency());
    const std::int64_t size = (last - first) / parts + 1;
    std::atomic<std::int64_t> total{0};
    std::vector<std::thread> threads;
    for (std::int64_t begin = first; begin <= last; begin += size) {
        const std::int64_t end = std::min(last, begin + size - 1);
        threads.emplace_back([&, begin, end] { total += check(begin, end); });
    }
    for (auto& thread : threads)
        thread.join();
    return total;
}

// The test as written, and as the threshold turns it.
bool subtracts(float k, float limit) {
    return angleDegrees(k) > limit;
}

bool subtractsBelow(float k, float threshold) {
    return k >= -1.0f && k < threshold;
}

std::vector<float> cosinesAround(float threshold, std::mt19937& random) {
    std::vector<float> k = {-1.0f,
                            1.0f,
                            0.0f,
                            -0.0f,
                            Infinity,
                            -Infinity,
                            std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::denorm_min(),
                            -std::numeric_limits<float>::denorm_min()};
    for (float centre : {threshold, -1.0f, 1.0f}) {
        float below = centre;
        float above = centre;
        for (int step = 0; step < 4; ++step) {
            k.push_back(below = std::nextafter(below, -Infinity));
            k.push_back(above = std::nextafter(above, Infinity));
        }
        k.push_back(centre);
    }
    std::uniform_real_distribution<float> anywhere(-1.5f, 1.5f);
    for (int n = 0; n < 64; ++n)
        k.push_back(anywhere(random));
    return k;
}

std::vector<float> sampledLimits(std::mt19937& random) {
    std::vector<float> limits = {std::numeric_limits<float>::quiet_NaN(),
                                 -Infinity,
                                 -1.0f,
                                 -0.0f,
                                 0.0f,
                                 std::numeric_limits<float>::denorm_min(),
                                 1e-30f,
                                 0.5f,
                                 33.3f,
                                 45.0f,
                                 89.99999f,
                                 90.0f,
                                 90.00001f,
                                 100.0f,
                                 179.99998f,
                                 180.0f,
                                 180.00002f,
                                 181.0f,
                                 1e30f,
                                 Infinity};
    std::uniform_real_distribution<float> degrees(-10.0f, 200.0f);
    std::uniform_real_distribution<float> cosine(-1.0f, 1.0f);
    std::uniform_int_distribution<std::uint32_t> pattern;
    for (int n = 0; n < 1500; ++n) {
        limits.push_back(degrees(random));
        // Limits that some cosine's angle equals exactly, and their neighbours.
        const float exact = angleDegrees(cosine(random));
        limits.push_back(exact);
        limits.push_back(std::nextafter(exact, Infinity));
        limits.push_back(std::nextafter(exact, -Infinity));
        limits.push_back(std::bit_cast<float>(pattern(random)));
    }
    return limits;
}

} // namespace

// The threshold rests on this: over [-1, 1] the angle, as the test forms it with this C library,
// never increases with k and is never NaN. Checked for every float in the range.
TEST(AngleThresholdMatchesLiteral, AngleNeverIncreasesOverEveryCosineFromMinusOneToOne) {
    const std::int64_t first = keyOf(-1.0f);
    const std::int64_t last = keyOf(1.0f);
    const std::int64_t failures =
        inParallel(first, last, [&](std::int64_t begin, std::int64_t end) {
            std::int64_t failed = 0;
            // Each piece also compares its first angle with the one before it.
            float previous = angleDegrees(floatOf(std::max(first, begin - 1)));
            for (std::int64_t key = begin; key <= end; ++key) {
                const float angle = angleDegrees(floatOf(key));
                failed += std::isnan(angle) || angle > previous ? 1 : 0;
                previous = angle;
            }
            return failed;
        });
    EXPECT_EQ(failures, 0);
}

// ...and outside it acosf gives NaN, so that no limit lets such a k subtract: checked for the 2^16
// floats on either side next to the range, and for every 4096th bit pattern, NaNs included.
TEST(AngleThresholdMatchesLiteral, AngleIsNaNOutsideTheRange) {
    std::int64_t failed = 0;
    const auto check = [&](float k) { failed += std::isnan(angleDegrees(k)) ? 0 : 1; };
    for (std::int64_t step = 1; step <= 65536; ++step) {
        check(floatOf(keyOf(-1.0f) - step));
        check(floatOf(keyOf(1.0f) + step));
    }
    for (std::int64_t pattern = 0; pattern <= 0xffffffffll; pattern += 4096) {
        const float k = std::bit_cast<float>(static_cast<std::uint32_t>(pattern));
        if (!(k >= -1.0f && k <= 1.0f))
            check(k);
    }
    EXPECT_EQ(failed, 0);
}

TEST(AngleThresholdMatchesLiteral, EqualsTheAngleTestAroundEveryThreshold) {
    std::mt19937 random(7);
    for (const float limit : sampledLimits(random)) {
        const float threshold = angleThreshold(limit);
        for (const float k : cosinesAround(threshold, random)) {
            ASSERT_EQ(subtracts(k, limit), subtractsBelow(k, threshold))
                << "limit " << limit << " (" << std::hex << bits(limit) << ") threshold "
                << threshold << " (" << bits(threshold) << ") k " << k << " (" << bits(k) << ")";
        }
    }
}

// The edges of its range: nothing subtracts below -1, everything in [-1, 1] subtracts when the
// threshold is the float after 1.
TEST(AngleThresholdMatchesLiteral, ThresholdStaysBetweenMinusOneAndTheFloatAfterOne) {
    std::mt19937 random(8);
    for (const float limit : sampledLimits(random)) {
        const float threshold = angleThreshold(limit);
        EXPECT_GE(threshold, -1.0f) << limit;
        EXPECT_LE(threshold, std::nextafter(1.0f, 2.0f)) << limit;
    }
    EXPECT_EQ(bits(angleThreshold(std::numeric_limits<float>::quiet_NaN())), bits(-1.0f));
    EXPECT_EQ(bits(angleThreshold(-1.0f)), bits(std::nextafter(1.0f, 2.0f)));
}
