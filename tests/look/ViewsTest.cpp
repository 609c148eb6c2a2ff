#include "look/Views.h"

#include "app/core/FrameSource.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace umbrix;
using namespace umbrix::look;

// The beauty (linear R G B) and the beauty times the occlusion go through the sRGB curve to 8-bit
// levels: linear below the knee at 0.0031308, the power curve above, clamped to [0, 1]; a NaN
// anywhere shows magenta.
TEST(Views, BeautyAndShadedGoThroughTheSrgbCurve) {
    constexpr float Nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float r, g, occlusion;
        int beauty, shaded; // the 8-bit level of R; -1 for magenta
    };
    const std::vector<Case> cases = {
        {0.0f, 0.0f, 0.5f, 0, 0},
        {0.002f, 0.002f, 0.5f, 7, 3},          // below the knee: 12.92 v
        {0.0031308f, 0.0031308f, 0.5f, 10, 5}, // the knee
        {0.01f, 0.01f, 0.5f, 25, 16},          // above it: 1.055 v^(1/2.4) - 0.055
        {0.18f, 0.18f, 0.5f, 118, 85},
        {1.0f, 1.0f, 0.5f, 255, 188},
        {4.0f, 4.0f, 0.5f, 255, 255}, // above 1: white
        {-0.5f, -0.5f, 0.5f, 0, 0},
        {0.18f, Nan, 0.5f, -1, -1},
        {0.18f, 0.18f, Nan, 118, -1},
    };
    const int width = static_cast<int>(cases.size());
    std::vector<float> rgba, depth(cases.size(), 1.0f);
    for (const Case& c : cases)
        rgba.insert(rgba.end(), {c.r, c.g, c.r, 1.0f});
    const auto frame = frameFromMemory({width, 1, depth, {}, rgba});
    minihost::ImagePtr result = minihost::makeImage(width, 1, {});
    for (int x = 0; x < width; ++x)
        minihost::sample(*result, x, 0, ResultOcclusion) =
            cases[static_cast<std::size_t>(x)].occlusion;
    const std::string beauty = viewPixels(View::Beauty, *frame, *result, Shown::whole(*result));
    const std::string shaded = viewPixels(View::Shaded, *frame, *result, Shown::whole(*result));
    // R's level, or -1 for magenta.
    const auto level = [](const std::string& pixels, int x) {
        const std::string pixel = pixels.substr(static_cast<std::size_t>(x) * 4, 4);
        return pixel == std::string("\xff\x00\xff\xff", 4) ? -1
                                                           : static_cast<unsigned char>(pixel[0]);
    };
    for (int x = 0; x < width; ++x) {
        const Case& c = cases[static_cast<std::size_t>(x)];
        SCOPED_TRACE(x);
        EXPECT_EQ(level(beauty, x), c.beauty);
        EXPECT_EQ(level(shaded, x), c.shaded);
    }
}

} // namespace
