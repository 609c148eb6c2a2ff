#include "process/ChunkSettings.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace umbrix::process;

namespace {

constexpr float Infinity = std::numeric_limits<float>::infinity();

std::vector<float> edgeValues() {
    const float denorm = std::numeric_limits<float>::denorm_min();
    return {std::numeric_limits<float>::quiet_NaN(),
            -Infinity,
            -std::numeric_limits<float>::max(),
            -1.0f,
            -denorm,
            -0.0f,
            0.0f,
            denorm,
            2 * denorm,
            std::numeric_limits<float>::min(),
            0.001f,
            0.25f,
            0.5f,
            1.0f,
            std::nextafter(1.0f, 2.0f),
            24.0f,
            24.25f,
            1e30f,
            std::numeric_limits<float>::max(),
            Infinity};
}

} // namespace

// The windows test a neighbour's depth difference against two bounds; that must count exactly the
// neighbours that are deeper and neither closer than "SmalDepth" nor farther than
// "DepthThreshold", NaN, infinities and zeros of either sign included.
TEST(DepthBandMatchesLiteral, BoundsCountTheNeighboursTheTestCounts) {
    const std::vector<float> values = edgeValues();
    for (const float smallDepth : values)
        for (const float threshold : values) {
            ChunkControls controls;
            controls.radius = 1;
            controls.smallDepth = smallDepth;
            controls.depthThreshold = threshold;
            const WindowSettings settings = chunkSettings(controls).windows;
            for (const float centre : values)
                for (const float neighbour : values) {
                    const float D = neighbour - centre;
                    const bool counts = neighbour > centre && !(smallDepth > D) && !(D > threshold);
                    ASSERT_EQ(counts, D >= settings.low && D <= settings.high)
                        << "SmalDepth " << smallDepth << " DepthThreshold " << threshold
                        << " centre " << centre << " neighbour " << neighbour;
                }
        }
}
