#pragma once

#include "contract/Controls.h"

#include <cstdint>

namespace umbrix::process {

// What one chunk's occlusion windows test against.
struct WindowSettings {
    std::int32_t radius = 0;
    ComparedNormals compared = ComparedNormals::Calculated;
    // A neighbour counts when its depth difference D = B[4] - A[4] lies in [low, high]: exactly
    // the neighbours with B[4] > A[4] and neither "SmalDepth" > D nor D > "DepthThreshold".
    float low = 0.0f;
    float high = 0.0f;
    float scale = 0.0f; // "DepthThreshold" / 10, the falloff's divisor
    float amount = 0.0f;
    // k >= -1 && k < threshold is "angle > NormalsAngleControll" (angleThreshold).
    float threshold = 0.0f;
};

// Whether a neighbour can subtract anything at all: a window of radius 0 has no positions, and
// with a threshold of -1 or less no cosine term passes the angle test.
bool windowsCanSubtract(const WindowSettings& settings);

} // namespace umbrix::process
