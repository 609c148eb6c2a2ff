#pragma once

#include <cstdint>

namespace umbrix::process {

// The nine control values one chunk reads, converted as it reads them; chunkSettings says what
// they mean to the passes.
struct ChunkControls {
    std::int32_t radius = 0; // "Matrix", the window radius r
    float smallDepth = 0.0f;
    float amount = 0.0f;
    float depthThreshold = 0.0f;
    float normalsZ = 0.0f;
    float normalsAngle = 0.0f;
    float useNormals = 0.0f;
    float filterMethod = 0.0f;
    double camFOV = 0.0;
};

// "Matrix" truncated toward zero. NaN takes no samples; values beyond a 32-bit integer saturate
// instead of converting out of range.
std::int32_t toRadius(double matrix);

} // namespace umbrix::process
