#include "tests/render/RenderTest.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

namespace rendertest {

float generatedNaN() {
    volatile float zero = 0.0f;
    return zero * std::numeric_limits<float>::infinity();
}

float randomNaN(Random& random) {
    constexpr std::uint32_t others[] = {0x7fc00000u, 0x7fc12345u, 0xffd00001u};
    if (random.chance(0.5))
        return generatedNaN();
    return std::bit_cast<float>(others[random.below(3)]);
}

ImagePtr filledImage(int width, int height, const std::vector<int>& extra,
                     const std::function<float(int, int, int)>& value) {
    ImagePtr image = minihost::makeImage(width, height, extra);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int channel : minihost::channels(*image))
                minihost::sample(*image, x, y, channel) = value(x, y, channel);
    return image;
}

ImagePtr depthImage(int width, int height, const std::function<float(int, int)>& depth) {
    return filledImage(width, height, {4}, [&](int x, int y, int channel) {
        return channel == 4 ? depth(x, y) : 0.0f;
    });
}

namespace {

constexpr float Infinity = std::numeric_limits<float>::infinity();

bool isGenerated(float nan) {
    return bits(nan) == bits(generatedNaN());
}

// The double that converts to the float NaN `nan`: same sign, payload in the top bits.
double asDouble(float nan) {
    const std::uint64_t sign = std::uint64_t{bits(nan) >> 31} << 63;
    const std::uint64_t payload = std::uint64_t{bits(nan) & 0x7fffffu} << 29;
    return std::bit_cast<double>(sign | 0x7ff0000000000000u | payload);
}

// Depths on a grid of 0.25 make differences land exactly on the band edges the controls pick.
float randomDepth(Random& random, int x, int y, int style, float nan) {
    if (random.chance(0.03))
        return nan;
    if (isGenerated(nan) && random.chance(0.005))
        return random.pick({Infinity, -Infinity});
    switch (style) {
    case 0:
        return 0.25f * static_cast<float>(random.below(13));
    case 1:
        return 0.25f * static_cast<float>(x) + 0.5f * static_cast<float>(y);
    case 2:
        return random.chance(0.2) ? random.uniform(1.0f, 4.0f) : 1.0f;
    default:
        return random.uniform(0.0f, 4.0f);
    }
}

struct Normal {
    float x, y, z;
};

Normal randomNormal(Random& random, float nan) {
    Normal n{random.uniform(-1.0f, 1.0f), random.uniform(-1.0f, 1.0f), random.uniform(-1.0f, 1.0f)};
    switch (random.below(10)) {
    case 0:
        n.y = nan;
        return n;
    case 1:
    case 2:
    case 3:
        return {0.0f, 0.0f, 1.0f};
    case 4:
    case 5:
    case 6: {
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        return {n.x / length, n.y / length, n.z / length};
    }
    default:
        return n;
    }
}

} // namespace

ImagePtr randomImage(int width, int height, Random& random, float nan) {
    static const std::vector<std::vector<int>> layouts = {
        {4, 10, 11, 12, 20}, {20, 12, 11, 10, 4}, {4, 10, 11, 12}, {4}, {4, 20}, {}};
    return randomImage(width, height, layouts[static_cast<std::size_t>(random.below(6))], random,
                       nan);
}

ImagePtr randomImage(int width, int height, const std::vector<int>& extra, Random& random,
                     float nan) {
    const int style = random.below(4);
    ImagePtr image = minihost::makeImage(width, height, extra);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Normal n = randomNormal(random, nan);
            for (int channel : minihost::channels(*image)) {
                float value = random.uniform(-1.0f, 2.0f);
                if (channel == 4)
                    value = randomDepth(random, x, y, style, nan);
                else if (channel == 10)
                    value = n.x;
                else if (channel == 11)
                    value = n.y;
                else if (channel == 12)
                    value = n.z;
                minihost::sample(*image, x, y, channel) = value;
            }
        }
    return image;
}

ReferenceControls randomControls(Random& random, float nanValue) {
    // Without NaN controls their place goes to an ordinary value.
    const double nan = isGenerated(nanValue) ? asDouble(nanValue) : 0.75;
    ReferenceControls c;
    c.UseNormals = random.pick({1.0, 1.0, 1.0, 0.0, 0.0, 0.5, nan});
    c.UseSSAO = random.pick({1.0, 1.0, 1.0, 1.0, 0.0, -1.0});
    c.FilterMethod = random.pick({0.0, 1.0, 2.0, 0.5});
    c.Matrix = random.chance(0.2)
                   ? double{random.uniform(0.0f, 12.0f)}
                   : random.pick({0.0, 1.0, 2.0, 2.9, 3.0, 4.0, 5.0, 7.0, 12.0, -1.0, -2.5});
    c.Amount = random.pick({0.025, 0.5, 0.1, 1.0, -0.25});
    c.SmalDepth = random.pick({0.001, 0.0, 0.25, 0.5, 1.0, -1.0, nan});
    c.DepthThreshold = random.chance(0.25)
                           ? double{random.uniform(0.1f, 30.0f)}
                           : random.pick({24.0, 1.0, 2.0, 0.5, 3.0, 0.0, -1.0, nan});
    c.NormalsAngleControll = random.chance(0.2) ? double{random.uniform(0.0f, 180.0f)}
                                                : random.pick({0.0, 45.0, 90.0, 100.0});
    c.NormalsZControll = random.chance(0.2) ? double{random.uniform(0.0f, 1.0f)}
                                            : random.pick({0.05, 0.0, 1.0, 0.5, nan});
    // Mostly doubles that no float holds, so that converting them early shows.
    c.CamFOV = random.chance(0.6) ? double{random.uniform(0.0f, 100.0f)} + 1e-7 * random.below(100)
                                  : random.pick({45.0, 0.0, 90.0, 100.0, 180.0, 33.3, nan});
    return c;
}

float at(const Image& image, int x, int y, int channel) {
    return minihost::sample(image, x, y, channel);
}

::testing::AssertionResult sameBitsExcept(const Image& expected, const Image& actual,
                                          std::initializer_list<int> skipped) {
    if (expected.Width != actual.Width || expected.Height != actual.Height)
        return ::testing::AssertionFailure() << "different sizes";
    for (int channel : minihost::channels(expected)) {
        if (std::find(skipped.begin(), skipped.end(), channel) != skipped.end())
            continue;
        for (int y = 0; y < expected.Height; ++y)
            for (int x = 0; x < expected.Width; ++x)
                if (bits(at(expected, x, y, channel)) != bits(at(actual, x, y, channel)))
                    return ::testing::AssertionFailure()
                           << "(" << x << ", " << y << ") channel " << channel << ": expected "
                           << at(expected, x, y, channel) << ", got " << at(actual, x, y, channel);
    }
    return ::testing::AssertionSuccess();
}

void RenderTest::apply(Operator& op, const ReferenceControls& c) {
    const std::pair<const char*, double> values[] = {
        {"UseNormals", c.UseNormals},
        {"UseSSAO", c.UseSSAO},
        {"FilterMethod", c.FilterMethod},
        {"Matrix", c.Matrix},
        {"Amount", c.Amount},
        {"SmalDepth", c.SmalDepth},
        {"DepthThreshold", c.DepthThreshold},
        {"NormalsAngleControll", c.NormalsAngleControll},
        {"NormalsZControll", c.NormalsZControll},
        {"CamFOV", c.CamFOV},
    };
    for (const auto& [id, value] : values)
        set(op, id, value);
}

ImagePtr RenderTest::renderTool(Operator& op, Image& source, const ReferenceControls& controls) {
    apply(op, controls);
    ImagePtr output = render(op, source);
    if (!output)
        throw std::runtime_error("the render failed");
    return output;
}

ImagePtr RenderTest::renderChecked(Image& source, const ReferenceControls& controls) {
    ImagePtr output = renderTool(source, controls);
    EXPECT_TRUE(testsupport::sameBits(*reference::referenceRender(source, controls), *output));
    return output;
}

ReferenceControls countingControls(double matrix, double amount) {
    ReferenceControls c;
    c.UseNormals = 0.0;
    c.UseSSAO = 1.0;
    c.FilterMethod = 2.0;
    c.Matrix = matrix;
    c.Amount = amount;
    c.SmalDepth = 0.0;
    c.DepthThreshold = 100.0;
    return c;
}

} // namespace rendertest
