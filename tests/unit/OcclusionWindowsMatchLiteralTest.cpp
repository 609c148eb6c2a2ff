#include "process/ChunkSettings.h"
#include "process/FalloffWeight.h"
#include "process/InverseLengths.h"
#include "process/OcclusionWindow.h"
#include "tests/support/Bits.h"
#include "tests/support/InstructionSets.h"
#include "tests/support/Random.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace umbrix::process;
using umbrix::ComparedNormals;

namespace {

constexpr float Infinity = std::numeric_limits<float>::infinity();

using testsupport::bits;
using testsupport::EachInstructionSet;
using testsupport::Random;

struct Normal {
    float c0, c1, c2;
};

// A normal as the recorded samples hold them: unit, zero (the zeroed channels), longer than one,
// or with a NaN component.
Normal someNormal(Random& random) {
    switch (random.below(6)) {
    case 0:
        return {0.0f, 0.0f, 0.0f};
    case 1:
        return {1.0f, random.uniform(-1.0f, 1.0f), random.uniform(-1.0f, 1.0f)};
    case 2:
        return {random.uniform(-1.0f, 1.0f), std::numeric_limits<float>::quiet_NaN(), 0.5f};
    default: {
        const Normal n{random.uniform(-1.0f, 1.0f), random.uniform(-1.0f, 1.0f),
                       random.uniform(-1.0f, 1.0f)};
        const float length = std::sqrt(n.c0 * n.c0 + n.c1 * n.c1 + n.c2 * n.c2);
        return {n.c0 / length, n.c1 / length, n.c2 / length};
    }
    }
}

// Samples in patches: flat ones, where every pixel has the same normal, and others where each
// pixel has its own; depths on a grid of 0.25, so that differences fall on the band's edges, with
// NaN and infinities sprinkled in.
void fillSamples(OcclusionSamples& samples, int width, int height, Random& random) {
    samples.reset(width, height);
    const int patch = 1 + random.below(6);
    std::vector<Normal> flat(static_cast<std::size_t>((width / patch + 1) * (height / patch + 1)));
    std::vector<bool> isFlat(flat.size());
    for (std::size_t n = 0; n < flat.size(); ++n) {
        flat[n] = someNormal(random);
        isFlat[n] = random.chance(0.6);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto p = static_cast<std::size_t>((y / patch) * (width / patch + 1) + x / patch);
            const Normal n = isFlat[p] ? flat[p] : someNormal(random);
            float depth = 0.25f * static_cast<float>(random.below(16));
            if (random.chance(0.02))
                depth = std::numeric_limits<float>::quiet_NaN();
            else if (random.chance(0.01))
                depth = random.chance(0.5) ? Infinity : -Infinity;
            samples.depth(y)[x] = depth;
            samples.normal(0, y)[x] = n.c0;
            samples.normal(1, y)[x] = n.c1;
            samples.normal(2, y)[x] = n.c2;
            const float length = (n.c0 * n.c0 + n.c1 * n.c1) + n.c2 * n.c2;
            samples.inverse(y)[x] = 1.0f / (length * length);
        }
    }
}

ChunkControls someControls(Random& random, int radius) {
    ChunkControls c;
    c.radius = radius;
    const float smallDepth[] = {0.001f, 0.0f, 0.25f, 0.5f, -1.0f};
    const float threshold[] = {24.0f, 1.0f, 0.5f, 2.0f, 0.75f};
    const float amount[] = {0.025f, 0.125f, 0.3f, 1.0f};
    const float angle[] = {45.0f, 0.0f, 10.0f, 90.0f, 100.0f, -5.0f, 33.3f};
    c.smallDepth = smallDepth[random.below(5)];
    c.depthThreshold = threshold[random.below(5)];
    c.amount = amount[random.below(4)];
    c.normalsAngle = angle[random.below(7)];
    c.filterMethod = static_cast<float>(random.below(3));
    return c;
}

bool inside(std::int64_t value, int size) {
    return value >= 0 && value < size;
}

// One neighbour of the window test, written out: whether it counts and, if so, its weight.
bool counts(float centre, float neighbour, const ChunkControls& c, float& weight) {
    if (!(neighbour > centre))
        return false;
    const float D = neighbour - centre;
    if (c.smallDepth > D || D > c.depthThreshold)
        return false;
    weight = powf(D / (c.depthThreshold / 10.0f) + 1.0f, -2.0f);
    return true;
}

// The occlusion value of pixel (x, y) with the window test as written, one neighbour at a time in
// window order, from the samples; in "disabled" mode the number of counting neighbours instead.
float windowValue(const OcclusionSamples& s, int x, int y, const ChunkControls& c, int& counted) {
    const std::int64_t r = c.radius;
    const int width = s.width();
    const int height = s.height();
    float v = 1.0f;
    counted = 0;
    for (std::int64_t i = std::max<std::int64_t>(-r, -width);
         i <= std::min<std::int64_t>(r - 1, width); ++i)
        for (std::int64_t j = std::max<std::int64_t>(-r, -height);
             j <= std::min<std::int64_t>(r - 1, height); ++j) {
            if (!inside(x + i, width) || !inside(y + j, height))
                continue;
            const auto sx = static_cast<int>(x + i);
            const auto sy = static_cast<int>(y + j);
            float w = 0.0f;
            if (!counts(s.depth(y)[x], s.depth(sy)[sx], c, w))
                continue;
            ++counted;
            const float d = (s.normal(0, y)[x] * s.normal(0, sy)[sx] +
                             s.normal(1, y)[x] * s.normal(1, sy)[sx]) +
                            s.normal(2, y)[x] * s.normal(2, sy)[sx];
            const float k = d / (s.inverse(y)[x] * s.inverse(sy)[sx]);
            const auto angle =
                static_cast<float>(static_cast<double>(acosf(k)) * 57.29577951308232);
            if (angle > c.normalsAngle)
                v = v - w * c.amount;
        }
    return v;
}

struct Shape {
    int width, height;
};

constexpr Shape Shapes[] = {{1, 1}, {1, 9}, {9, 1}, {7, 3}, {8, 4}, {17, 6}, {33, 12}, {70, 9}};
constexpr int Radii[] = {1, 2, 3, 5, 9, 40, std::numeric_limits<int>::max()};

// Compares every row's windows with the test as written, for `trials` random sample sets.
void checkWindows(std::uint32_t seed, int trials) {
    Random random(seed);
    OcclusionSamples samples;
    for (const Shape shape : Shapes)
        for (const int radius : Radii)
            for (int trial = 0; trial < trials; ++trial) {
                fillSamples(samples, shape.width, shape.height, random);
                const ChunkControls c = someControls(random, radius);
                const WindowSettings settings = chunkSettings(c).windows;
                std::vector<float> values(static_cast<std::size_t>(shape.width));
                std::vector<std::int32_t> numbers(static_cast<std::size_t>(shape.width));
                for (int y = 0; y < shape.height; ++y) {
                    if (settings.compared == ComparedNormals::None)
                        countedWindows(samples, y, settings, numbers.data());
                    else
                        weightedWindows(samples, y, settings, values.data());
                    for (int x = 0; x < shape.width; ++x) {
                        int counted = 0;
                        const float v = windowValue(samples, x, y, c, counted);
                        const auto at = static_cast<std::size_t>(x);
                        if (settings.compared == ComparedNormals::None)
                            ASSERT_EQ(numbers[at], counted) << x << ", " << y << " r " << radius;
                        else
                            ASSERT_EQ(bits(values[at]), bits(v))
                                << x << ", " << y << " of " << shape.width << "x" << shape.height
                                << " r " << radius << " angle " << c.normalsAngle;
                    }
                }
            }
}

} // namespace

TEST(OcclusionWindowsMatchLiteral, MatchTheWindowTestOnEveryInstructionSet) {
    EachInstructionSet().run([](std::int64_t) { checkWindows(31, 6); });
}

// A flat patch is skipped only when its own normal does not pass the angle test: with zero
// normals every neighbour's angle is 90 degrees, and with a limit below that each counting one
// subtracts.
TEST(OcclusionWindowsMatchLiteral, FlatPatchesSubtractWhenTheirOwnNormalPasses) {
    EachInstructionSet().run([](std::int64_t) {
        OcclusionSamples samples;
        samples.reset(40, 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 40; ++x) {
                samples.depth(y)[x] = static_cast<float>(y);
                samples.normal(0, y)[x] = 0.0f;
                samples.normal(1, y)[x] = 0.0f;
                samples.normal(2, y)[x] = 0.0f;
                samples.inverse(y)[x] = Infinity;
            }
        for (const float angle : {45.0f, 90.0f}) {
            ChunkControls c;
            c.radius = 3;
            c.smallDepth = 0.5f;
            c.depthThreshold = 24.0f;
            c.amount = 0.125f;
            c.normalsAngle = angle;
            c.filterMethod = 1.0f;
            std::vector<float> values(40);
            weightedWindows(samples, 2, chunkSettings(c).windows, values.data());
            for (int x = 0; x < 40; ++x) {
                int counted = 0;
                EXPECT_EQ(bits(values[static_cast<std::size_t>(x)]),
                          bits(windowValue(samples, x, 2, c, counted)))
                    << x << " angle " << angle;
                EXPECT_GT(counted, 0);
            }
            EXPECT_EQ(values[20] < 1.0f, angle < 90.0f);
        }
    });
}

// Graded depths, as on a receding floor, make whole window rows count or not for a block of
// centres, which "disabled" settles from the rows' depth ranges; a cliff, infinities and NaN
// make rows that it cannot settle.
TEST(OcclusionWindowsMatchLiteral, CountsOfRowsSettledByTheirDepthRangeMatchTheWindowTest) {
    constexpr float Nan = std::numeric_limits<float>::quiet_NaN();
    const Shape shapes[] = {{40, 20}, {33, 12}, {17, 9}, {16, 4}};
    const float steps[] = {0.01f, 0.3f, 0.5f, 0.25f, 1.0f, -0.2f};
    const std::pair<float, float> bands[] = {{0.001f, 24.0f}, {0.5f, 2.5f}, {0.0f, 0.75f}};
    EachInstructionSet().run([&](std::int64_t) {
        OcclusionSamples samples;
        for (const Shape shape : shapes)
            for (const float step : steps) {
                samples.reset(shape.width, shape.height);
                for (int y = 0; y < shape.height; ++y)
                    for (int x = 0; x < shape.width; ++x)
                        samples.depth(y)[x] = static_cast<float>(y) * step +
                                              static_cast<float>(x) * 0.0001f +
                                              (x > shape.width * 3 / 4 ? 5.0f : 0.0f);
                samples.depth(shape.height / 2)[1] = Nan;
                samples.depth(shape.height - 1)[shape.width / 2] = Infinity;
                for (const auto& [smallDepth, threshold] : bands)
                    for (const int radius : {1, 2, 5, 9, std::numeric_limits<int>::max()}) {
                        ChunkControls c;
                        c.radius = radius;
                        c.smallDepth = smallDepth;
                        c.depthThreshold = threshold;
                        c.amount = 0.025f;
                        c.filterMethod = 2.0f;
                        std::vector<std::int32_t> numbers(static_cast<std::size_t>(shape.width));
                        for (int y = 0; y < shape.height; ++y) {
                            countedWindows(samples, y, chunkSettings(c).windows, numbers.data());
                            for (int x = 0; x < shape.width; ++x) {
                                int counted = 0;
                                windowValue(samples, x, y, c, counted);
                                ASSERT_EQ(numbers[static_cast<std::size_t>(x)], counted)
                                    << x << ", " << y << " of " << shape.width << "x"
                                    << shape.height << " step " << step << " r " << radius
                                    << " band " << smallDepth << "-" << threshold;
                            }
                        }
                    }
            }
    });
}

// Where every normal of a window is the same, its k is known to the float, and a threshold one
// step above it passes every neighbour, though the exact quotient may lie above the threshold: the
// ranges that skip windows whose k cannot pass must leave room for the rounding of k.
TEST(OcclusionWindowsMatchLiteral, NormalsJustInsideTheAngleLimitAreNotSkipped) {
    Random random(77);
    int tight = 0;
    EachInstructionSet().run([&](std::int64_t) {
        OcclusionSamples samples;
        for (int trial = 0; trial < 400; ++trial) {
            samples.reset(24, 6);
            const float n0 = random.uniform(0.2f, 1.0f);
            const float n1 = random.uniform(-1.0f, 1.0f);
            const float n2 = random.uniform(-1.0f, 1.0f);
            const float length = (n0 * n0 + n1 * n1) + n2 * n2;
            const float inverse = 1.0f / (length * length);
            const float dot = (n0 * n0 + n1 * n1) + n2 * n2;
            const float k = dot / (inverse * inverse);
            const double exact = ((double{n0} * n0 + double{n1} * n1) + double{n2} * n2) /
                                 (double{inverse} * inverse);
            WindowSettings settings;
            settings.radius = 2;
            settings.low = 0.5f;
            settings.high = 24.0f;
            settings.scale = 2.4f;
            settings.amount = 0.125f;
            settings.threshold = std::nextafter(k, Infinity);
            tight += exact >= settings.threshold;
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 24; ++x) {
                    samples.depth(y)[x] = static_cast<float>(y);
                    samples.normal(0, y)[x] = n0;
                    samples.normal(1, y)[x] = n1;
                    samples.normal(2, y)[x] = n2;
                    samples.inverse(y)[x] = inverse;
                }
            std::vector<float> values(24);
            weightedWindows(samples, 2, settings, values.data());
            for (int x = 0; x < 24; ++x)
                ASSERT_LT(values[static_cast<std::size_t>(x)], 1.0f) << x << " trial " << trial;
        }
    });
    EXPECT_GT(tight, 0) << "no case where the exact quotient reaches the threshold";
}

// The windows form the weights of a block at once, in double, falling back to one lane at a time
// near rounding midpoints: over every reachable t they give falloffWeight's bits, which are powf's.
TEST(OcclusionWindowsMatchLiteral, FalloffWeightsMatchOneAtATimeForEveryFloatOfTheFastRange) {
    std::vector<float> t;
    for (std::uint32_t pattern = bits(1.0f); pattern < bits(16.0f); ++pattern)
        t.push_back(std::bit_cast<float>(pattern));
    for (const float edge : {0.5f, 16.0f, 1e30f, Infinity, std::nanf("")})
        t.push_back(edge);
    std::vector<float> expected(t.size());
    for (std::size_t k = 0; k < t.size(); ++k)
        expected[k] = falloffWeight(t[k]);
    std::vector<float> weights(t.size());
    EachInstructionSet().run([&](std::int64_t) {
        windowFalloffWeights(t.data(), t.size(), weights.data());
        std::size_t wrong = 0;
        for (std::size_t k = 0; k < t.size(); ++k)
            if (bits(weights[k]) != bits(expected[k]) && wrong++ < 5)
                ADD_FAILURE() << "t = " << t[k] << ": " << weights[k] << " not " << expected[k];
        EXPECT_EQ(wrong, 0U);
    });
}

TEST(InverseLengthsMatchLiteral, MatchOneNormalAtATimeOnEveryInstructionSet) {
    EachInstructionSet().run([](std::int64_t) {
        Random random(5);
        for (const int count : {1, 3, 8, 15, 16, 17, 100}) {
            std::vector<float> n0, n1, n2;
            for (int k = 0; k < count; ++k) {
                const Normal n = someNormal(random);
                n0.push_back(n.c0);
                n1.push_back(random.chance(0.1) ? 1e20f : n.c1);
                n2.push_back(random.chance(0.1) ? 1e-25f : n.c2);
            }
            std::vector<float> inverse(static_cast<std::size_t>(count));
            inverseSquaredLengths(n0.data(), n1.data(), n2.data(), count, inverse.data());
            for (std::size_t k = 0; k < inverse.size(); ++k) {
                const float length = (n0[k] * n0[k] + n1[k] * n1[k]) + n2[k] * n2[k];
                EXPECT_EQ(bits(inverse[k]), bits(1.0f / (length * length))) << k;
            }
        }
    });
}
