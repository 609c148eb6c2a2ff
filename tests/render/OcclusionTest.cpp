#include "tests/render/RenderTest.h"

#include <cmath>
#include <limits>

namespace rendertest {
namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

class OcclusionRadius : public RenderTest {};
class OcclusionWindow : public RenderTest {};
class OcclusionBand : public RenderTest {};
class OcclusionWeight : public RenderTest {};
class OcclusionAngle : public RenderTest {};
class OcclusionContent : public RenderTest {};

void expectChannel3Everywhere(const Image& image, float value) {
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x)
            EXPECT_EQ(bits(at(image, x, y, 3)), bits(value)) << x << "," << y;
}

ImagePtr noiseDepth(int width, int height, std::uint32_t seed) {
    Random random(seed);
    return depthImage(width, height, [&](int, int) { return random.uniform(0.0f, 4.0f); });
}

// Depth 1 everywhere but one pixel: `inner` there.
ImagePtr onePixelAt(int width, int height, int px, int py, float inner) {
    return depthImage(width, height,
                      [=](int x, int y) { return x == px && y == py ? inner : 1.0f; });
}

TEST_F(OcclusionRadius, BelowOneSamplesNothing) {
    const ImagePtr source = noiseDepth(8, 6, 1);
    const ImagePtr one = renderChecked(*source, countingControls(1.0, 0.25));
    ASSERT_LT(at(*one, 4, 3, 3) + at(*one, 5, 3, 3), 2.0f) << "r = 1 already counts nothing";
    for (const double matrix : {0.0, 0.99, -0.5, -3.0, NaN, -Inf, -1e300})
        expectChannel3Everywhere(*renderChecked(*source, countingControls(matrix, 0.25)), 1.0f);
}

TEST_F(OcclusionRadius, FractionalMatrixTruncates) {
    const ImagePtr source = noiseDepth(10, 8, 2);
    const ImagePtr two = renderChecked(*source, countingControls(2.0, 0.125));
    EXPECT_TRUE(testsupport::sameBits(*two, *renderChecked(*source, countingControls(2.9, 0.125))));
    EXPECT_FALSE(testsupport::sameBits(*two, *renderTool(*source, countingControls(3.0, 0.125))));
}

// A radius of the image's larger side already reaches every pixel from every centre; anything
// larger must give the same, and finish.
TEST_F(OcclusionRadius, HugeMatrixCoversTheImage) {
    const ImagePtr source = noiseDepth(9, 7, 3);
    const ImagePtr whole = renderChecked(*source, countingControls(9.0, 0.03125));
    for (const double matrix : {1e9, 2147483648.0, 1e300, Inf})
        EXPECT_TRUE(testsupport::sameBits(
            *whole, *renderChecked(*source, countingControls(matrix, 0.03125))))
            << matrix;
}

bool inWindow(int centre, int position, int r) {
    return position - centre >= -r && position - centre <= r - 1;
}

// One deeper pixel lowers exactly the centres whose window holds it: those up to r - 1 before it
// and up to r after it, in both directions, but not itself.
TEST_F(OcclusionWindow, OneDeeperPixelReachesTheCentresWhoseWindowHoldsIt) {
    const struct { int px, py; } positions[] = {{4, 4}, {0, 0}, {8, 7}, {8, 0}, {0, 7}, {2, 5}};
    for (const int r : {1, 2, 3})
        for (const auto [px, py] : positions) {
            const ImagePtr out =
                renderChecked(*onePixelAt(9, 8, px, py, 2.0f), countingControls(r, 0.25));
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 9; ++x) {
                    const bool seen =
                        inWindow(x, px, r) && inWindow(y, py, r) && !(x == px && y == py);
                    EXPECT_EQ(bits(at(*out, x, y, 3)), bits(seen ? 0.75f : 1.0f))
                        << "deeper " << px << "," << py << " r " << r << " centre " << x << ","
                        << y;
                }
        }
}

TEST_F(OcclusionWindow, ReachesRBackButOnlyRMinusOneForward) {
    const ImagePtr out = renderChecked(*onePixelAt(9, 9, 4, 4, 2.0f), countingControls(2, 0.25));
    EXPECT_EQ(bits(at(*out, 2, 2, 3)), bits(1.0f)) << "deeper pixel at (x + r, y + r) was sampled";
    EXPECT_EQ(bits(at(*out, 6, 6, 3)), bits(0.75f)) << "deeper pixel at (x - r, y - r) was missed";
    EXPECT_EQ(bits(at(*out, 3, 3, 3)), bits(0.75f));
}

// One shallow pixel with every other deeper: it counts every window position inside the image
// but its own. At borders, and with an image smaller than the window, fewer lie inside.
TEST_F(OcclusionWindow, BordersAndSmallImagesLimitTheWindow) {
    const struct {
        int width, height, r, px, py;
    } cases[] = {{7, 5, 3, 0, 0}, {7, 5, 3, 6, 4}, {7, 5, 3, 6, 0}, {7, 5, 3, 0, 4},
                 {7, 5, 3, 3, 2}, {7, 5, 3, 3, 0}, {7, 5, 3, 0, 2}, {3, 2, 5, 1, 1},
                 {1, 1, 4, 0, 0}, {2, 6, 3, 1, 2}};
    for (const auto& k : cases) {
        const ImagePtr out = renderChecked(*onePixelAt(k.width, k.height, k.px, k.py, 0.0f),
                                           countingControls(k.r, 0.03125));
        const auto span = [&](int centre, int size) {
            return std::min(centre + k.r - 1, size - 1) - std::max(centre - k.r, 0) + 1;
        };
        const int counted = span(k.px, k.width) * span(k.py, k.height) - 1;
        EXPECT_EQ(bits(at(*out, k.px, k.py, 3)),
                  bits(1.0f - static_cast<float>(counted) * 0.03125f))
            << k.width << "x" << k.height << " r " << k.r << " at " << k.px << "," << k.py;
    }
}

TEST_F(OcclusionWindow, NinetyNineNeighboursGoBelowZero) {
    const ImagePtr out = renderChecked(*onePixelAt(10, 10, 5, 5, 0.0f), countingControls(5, 0.5));
    EXPECT_EQ(bits(at(*out, 5, 5, 3)), bits(-48.5f));
}

TEST_F(OcclusionWindow, ConstantDepthGivesOne) {
    Random random(5);
    const ImagePtr source = depthImage(8, 6, [](int, int) { return 2.5f; });
    for (int trial = 0; trial < 8; ++trial) {
        ReferenceControls c = randomControls(random);
        c.UseSSAO = 1.0;
        expectChannel3Everywhere(*renderChecked(*source, c), 1.0f);
    }
}

// The neighbour at (0, 0) lies `difference` deeper than the centre at (1, 0), depth 0; with r = 1
// the centre's window holds only the two of them.
ImagePtr pairImage(float difference) {
    return depthImage(2, 1, [=](int x, int) { return x == 0 ? difference : 0.0f; });
}

TEST_F(OcclusionBand, BothBoundsAreInclusive) {
    const float justAbove24 = std::nextafter(24.0f, 100.0f);
    const float justBelowHalf = std::nextafter(0.5f, 0.0f);
    const struct {
        float difference;
        double smalDepth, depthThreshold;
        bool counts;
    } cases[] = {
        {0.5f, 0.5, 24.0, true},       {justBelowHalf, 0.5, 24.0, false},
        {24.0f, 0.001, 24.0, true},    {justAbove24, 0.001, 24.0, false},
        {0.5f, 0.0, 0.0, false},       {0.5f, -1.0, -1.0, false},
        {0.5f, NaN, 24.0, true},       {0.5f, 0.0, NaN, true},
        {0.0f, 0.0, 24.0, false},      {-0.5f, -1.0, 24.0, false},
        {float(NaN), NaN, NaN, false}, {float(Inf), 0.0, Inf, true},
    };
    for (const auto& k : cases) {
        ReferenceControls c = countingControls(1.0, 0.25);
        c.SmalDepth = k.smalDepth;
        c.DepthThreshold = k.depthThreshold;
        const ImagePtr out = renderChecked(*pairImage(k.difference), c);
        EXPECT_EQ(bits(at(*out, 1, 0, 3)), bits(k.counts ? 0.75f : 1.0f))
            << "D " << k.difference << " band " << k.smalDepth << " .. " << k.depthThreshold;
        EXPECT_EQ(bits(at(*out, 0, 0, 3)), bits(1.0f));
    }
}

struct Normal {
    float x, y, z;
};

// pairImage with supplied normals in channels 10-12.
ImagePtr pairWithNormals(float difference, Normal neighbour, Normal centre) {
    return filledImage(2, 1, {4, 10, 11, 12}, [=](int x, int, int channel) {
        const Normal n = x == 0 ? neighbour : centre;
        switch (channel) {
        case 4:
            return x == 0 ? difference : 0.0f;
        case 10:
            return n.x;
        case 11:
            return n.y;
        case 12:
            return n.z;
        default:
            return 0.0f;
        }
    });
}

ReferenceControls weighted(double filterMethod, double angle) {
    ReferenceControls c;
    c.UseNormals = 0.0;
    c.UseSSAO = 1.0;
    c.FilterMethod = filterMethod;
    c.Matrix = 1.0;
    c.Amount = 0.025;
    c.DepthThreshold = 24.0;
    c.NormalsAngleControll = angle;
    return c;
}

// Threshold 24 and D = 2.4: w = (2.4 / 2.4 + 1)^-2 = 0.25, so Amount 0.025 subtracts 0.00625 when
// normals are compared, and the whole Amount when they are not.
TEST_F(OcclusionWeight, WorkedWeight) {
    const ImagePtr perpendicular = pairWithNormals(2.4f, {0, 1, 0}, {1, 0, 0});
    const ImagePtr withoutNormals = pairImage(2.4f);
    const float weighted00625 = 1.0f - 0.00625f;
    const struct {
        Image* source;
        double filterMethod, angle;
        float expected;
    } cases[] = {
        {perpendicular.get(), 0.0, 45.0, weighted00625},
        {perpendicular.get(), 0.0, 89.9, weighted00625},
        {perpendicular.get(), 0.0, 90.0, 1.0f},
        {perpendicular.get(), 1.0, 45.0, weighted00625},
        {perpendicular.get(), 0.5, 45.0, weighted00625},
        {perpendicular.get(), 2.0, 45.0, 1.0f - 0.025f},
        {perpendicular.get(), 2.0, 1000.0, 1.0f - 0.025f},
        {withoutNormals.get(), 0.0, 89.0, weighted00625},
        {withoutNormals.get(), 0.0, 90.0, 1.0f},
        {withoutNormals.get(), 1.0, 90.0, 1.0f},
    };
    for (const auto& k : cases) {
        const ImagePtr out = renderChecked(*k.source, weighted(k.filterMethod, k.angle));
        EXPECT_EQ(bits(at(*out, 1, 0, 3)), bits(k.expected))
            << "mode " << k.filterMethod << " limit " << k.angle;
    }
}

// Pairs side by side in one row: a neighbour D deeper at x = 2i with the centre at 2i + 1 beside
// it, perpendicular supplied normals, Amount 1: every ulp of the weight shows in channel 3.
TEST_F(OcclusionWeight, FalloffAcrossTheBand) {
    Random random(41);
    for (int trial = 0; trial < 12; ++trial) {
        const float threshold = trial == 0 ? 24.0f : random.uniform(0.1f, 30.0f);
        std::vector<float> differences{threshold};
        while (differences.size() < 16)
            differences.push_back(random.uniform(0.0f, threshold));
        const ImagePtr source = filledImage(32, 1, {4, 10, 11}, [&](int x, int, int channel) {
            const bool neighbour = x % 2 == 0;
            if (channel == 4)
                return neighbour ? differences[static_cast<std::size_t>(x / 2)] : 0.0f;
            return channel == (neighbour ? 11 : 10) ? 1.0f : 0.0f;
        });
        ReferenceControls c = weighted(0.0, 45.0);
        c.Amount = 1.0;
        c.SmalDepth = 0.0;
        c.DepthThreshold = threshold;
        const ImagePtr out = renderChecked(*source, c);
        EXPECT_NEAR(1.0f - at(*out, 1, 0, 3), 1.0f / 121.0f, 1e-6f)
            << "D = threshold " << threshold;
    }
}

// k = d * La^2 * Lb^2: equal normals are at angle 0 only when of unit length; longer ones push k
// past 1, acosf gives NaN, and nothing is subtracted even at a limit of 0.
TEST_F(OcclusionWeight, EqualNormalsSubtractNothing) {
    for (const Normal n : {Normal{0, 0, 1}, Normal{1, 1, 1}, Normal{0.6f, 0.8f, 0.5f}}) {
        const ImagePtr out = renderChecked(*pairWithNormals(2.4f, n, n), weighted(0.0, 0.0));
        EXPECT_EQ(bits(at(*out, 1, 0, 3)), bits(1.0f)) << n.x << "," << n.y << "," << n.z;
    }
}

// A ramp deeper to the right: the normals pass gives every inner column the same normal, longer
// than 1 (channel 0 is shaped by the Z control), so calculated normals subtract nothing there.
TEST_F(OcclusionWeight, EqualCalculatedNormalsLongerThanOneSubtractNothing) {
    const ImagePtr source =
        depthImage(8, 6, [](int x, int) { return 2.0f * static_cast<float>(x); });
    ReferenceControls c = weighted(1.0, 0.0);
    c.UseNormals = 1.0;
    c.Matrix = 2.0;
    const ImagePtr out = renderChecked(*source, c);
    const float L = at(*out, 3, 2, 0) * at(*out, 3, 2, 0) + at(*out, 3, 2, 1) * at(*out, 3, 2, 1) +
                    at(*out, 3, 2, 2) * at(*out, 3, 2, 2);
    ASSERT_GT(L, 1.0f);
    for (int y = 0; y < 6; ++y)
        for (int x = 1; x <= 5; ++x)
            EXPECT_EQ(bits(at(*out, x, y, 3)), bits(1.0f)) << x << "," << y;
    c.FilterMethod = 2.0;
    EXPECT_LT(at(*renderChecked(*source, c), 3, 2, 3), 1.0f) << "no neighbour counts here";
}

FloatPixel withNormal(Normal n) {
    FloatPixel record{};
    record[10] = n.x;
    record[11] = n.y;
    record[12] = n.z;
    return record;
}

// The limit set exactly on the angle between two normals subtracts nothing, one float below it
// subtracts: an angle computed in any other way than the defined one flips some of these.
TEST_F(OcclusionAngle, LimitOnTheExactAngleDecides) {
    Random random(31);
    const auto randomNormal = [&] {
        const float x = random.uniform(-1.0f, 1.0f);
        const float y = random.uniform(-1.0f, 1.0f);
        const float z = random.uniform(0.1f, 1.0f);
        const float scale = random.uniform(0.9f, 1.0f) / std::sqrt(x * x + y * y + z * z);
        return Normal{x * scale, y * scale, z * scale};
    };
    for (int trial = 0; trial < 60; ++trial) {
        const Normal centre = randomNormal();
        const Normal neighbour = randomNormal();
        const float angle =
            reference::occlusionAngle(withNormal(centre), withNormal(neighbour), 0.0f);
        ASSERT_FALSE(std::isnan(angle));
        const ImagePtr source = pairWithNormals(2.4f, neighbour, centre);
        for (const float limit : {angle, std::nextafter(angle, 0.0f)}) {
            const ImagePtr out = renderChecked(*source, weighted(0.0, limit));
            EXPECT_EQ(bits(at(*out, 1, 0, 3)), bits(limit < angle ? 1.0f - 0.00625f : 1.0f))
                << "trial " << trial << " angle " << angle << " limit " << limit;
        }
    }
}

TEST_F(OcclusionContent, NormalsOffKeepsTheSourceButChannels0To3) {
    Random random(21);
    const ImagePtr source = randomImage(10, 7, {4, 10, 11, 12, 20}, random);
    ReferenceControls c = weighted(0.0, 30.0);
    c.Matrix = 3.0;
    const ImagePtr out = renderChecked(*source, c);
    EXPECT_TRUE(sameBitsExcept(*source, *out, {0, 1, 2, 3}));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 10; ++x)
            for (int channel = 0; channel < 3; ++channel)
                EXPECT_EQ(bits(at(*out, x, y, channel)), bits(0.0f));
}

TEST_F(OcclusionContent, NormalsOnReplacesOnlyChannel3OfTheNormalsResult) {
    Random random(22);
    const ImagePtr source = randomImage(10, 7, {20, 12, 11, 10, 4}, random);
    ReferenceControls c = weighted(1.0, 30.0);
    c.UseNormals = 1.0;
    c.Matrix = 3.0;
    const ImagePtr both = renderChecked(*source, c);
    c.UseSSAO = 0.0;
    const ImagePtr normals = renderChecked(*source, c);
    EXPECT_TRUE(sameBitsExcept(*normals, *both, {3}));
}

// The combo is compared with 0 and 2 only; every other value compares calculated normals.
TEST_F(OcclusionContent, OtherFilterMethodsBehaveAsCalculatedNormals) {
    Random random(23);
    const ImagePtr source = randomImage(12, 9, {4, 10, 11, 12}, random);
    ReferenceControls c = weighted(1.0, 20.0);
    c.UseNormals = 1.0;
    c.Matrix = 3.0;
    c.DepthThreshold = 4.0;
    const ImagePtr calculated = renderChecked(*source, c);
    c.FilterMethod = 0.0;
    ASSERT_FALSE(testsupport::sameBits(*calculated, *renderChecked(*source, c)));
    for (const double mode : {0.5, 1.5, -1.0, 3.0, NaN}) {
        c.FilterMethod = mode;
        EXPECT_TRUE(testsupport::sameBits(*calculated, *renderTool(*source, c))) << mode;
    }
}

} // namespace
} // namespace rendertest
