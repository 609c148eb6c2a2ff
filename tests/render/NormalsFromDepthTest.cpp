#include "tests/render/RenderTest.h"

#include <cmath>

namespace rendertest {
namespace {

class NormalsFromDepth : public RenderTest {};

ReferenceControls normalsOnly(double zControl, double fov = 45.0) {
    ReferenceControls c;
    c.UseNormals = 1.0;
    c.UseSSAO = 0.0;
    c.NormalsZControll = zControl;
    c.CamFOV = fov;
    return c;
}

void expectEveryPixel(const Image& image, float c0, float c1, float c2) {
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            EXPECT_EQ(bits(at(image, x, y, 0)), bits(c0)) << x << "," << y;
            EXPECT_EQ(bits(at(image, x, y, 1)), bits(c1)) << x << "," << y;
            EXPECT_EQ(bits(at(image, x, y, 2)), bits(c2)) << x << "," << y;
        }
}

TEST_F(NormalsFromDepth, ConstantDepthFacesTheCamera) {
    const ImagePtr source = depthImage(6, 4, [](int, int) { return 3.5f; });
    for (const double z : {0.0, 0.05, 0.5, 0.99})
        for (const double fov : {10.0, 45.0, 90.0}) {
            SCOPED_TRACE(testing::Message() << "Z " << z << " FOV " << fov);
            expectEveryPixel(*renderChecked(*source, normalsOnly(z, fov)), 1.0f, -0.0f, 0.0f);
        }
}

TEST_F(NormalsFromDepth, OnePixelImageIsItsOwnNeighbour) {
    const ImagePtr source = depthImage(1, 1, [](int, int) { return 7.0f; });
    for (const double fov : {1.0, 45.0, 100.0})
        expectEveryPixel(*renderChecked(*source, normalsOnly(0.05, fov)), 1.0f, -0.0f, 0.0f);
}

// W < H: the integer quotient is 0, so rows have no extent and the normal lies along the rows.
TEST_F(NormalsFromDepth, NarrowImageNormalsPointAlongTheRows) {
    for (const float direction : {1.0f, -1.0f}) {
        const ImagePtr source = depthImage(3, 7, [&](int x, int y) {
            return direction * static_cast<float>(y * y) + 0.125f * static_cast<float>(x);
        });
        const ImagePtr out = renderChecked(*source, normalsOnly(0.05));
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(at(*out, x, y, 0), 0.0f);
                EXPECT_NEAR(at(*out, x, y, 1), -direction, 1.2e-7f);
                EXPECT_EQ(at(*out, x, y, 2), 0.0f);
            }
    }
}

TEST_F(NormalsFromDepth, ZeroNormalGivesNaN) {
    const ImagePtr source = depthImage(3, 7, [](int x, int) { return static_cast<float>(x); });
    const ImagePtr out = renderChecked(*source, normalsOnly(0.05));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 3; ++x)
            for (int channel = 0; channel < 3; ++channel)
                EXPECT_TRUE(std::isnan(at(*out, x, y, channel))) << x << "," << y << " " << channel;
}

TEST_F(NormalsFromDepth, ZeroZControlGivesOneOrNaN) {
    const auto ramp = [](int x, int y) { return 0.1f * static_cast<float>(x * x + y); };
    const ImagePtr square = renderChecked(*depthImage(5, 5, ramp), normalsOnly(0.0));
    const ImagePtr narrow = renderChecked(*depthImage(3, 6, ramp), normalsOnly(0.0));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(bits(at(*square, x, y, 0)), bits(1.0f)) << x << "," << y;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_TRUE(std::isnan(at(*narrow, x, y, 0))) << x << "," << y;
            EXPECT_NEAR(at(*narrow, x, y, 1), -1.0f, 1.2e-7f);
        }
}

// With Z control 1 channel 0 holds n.z itself; any other control must scale it by 1 / Q, the
// reciprocal rounded first, wherever n.z does not exceed Q.
TEST_F(NormalsFromDepth, ZControlMultipliesByTheReciprocal) {
    const ImagePtr source =
        depthImage(7, 5, [](int x, int y) { return 0.02f * static_cast<float>(x * x + 3 * y); });
    const ImagePtr plain = renderChecked(*source, normalsOnly(1.0));
    int reciprocalMatters = 0;
    for (const float Q : {0.3f, 0.7f, 0.1f, 0.9f, 0.45f, 0.6f, 0.35f, 0.03f}) {
        const ImagePtr out = renderChecked(*source, normalsOnly(double{Q}));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const float nz = at(*plain, x, y, 0);
                const float expected = nz > Q ? 1.0f : nz * (1.0f / Q);
                EXPECT_EQ(bits(at(*out, x, y, 0)), bits(expected)) << Q << " at " << x << "," << y;
                reciprocalMatters += nz <= Q && expected != nz / Q;
            }
    }
    EXPECT_GT(reciprocalMatters, 0) << "no case tells n.z * (1 / Q) from n.z / Q";
}

TEST_F(NormalsFromDepth, OnlyChannelsZeroToTwoChange) {
    Random random(7);
    const ImagePtr source = randomImage(11, 6, {20, 4, 12, 11, 10}, random);
    const ImagePtr out = renderChecked(*source, normalsOnly(0.05));
    EXPECT_TRUE(sameBitsExcept(*source, *out, {0, 1, 2}));
}

} // namespace
} // namespace rendertest
