#pragma once

#include <cstdint>

// The control values one chunk works with, read once per chunk.
struct ChunkControls {
    std::int32_t matrix = 0; // window radius r
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

enum class NormalsMode { Rendered, Calculated, Disabled };

// The combo's value compared as a float with 0 and 2; anything else behaves as 1.
inline NormalsMode normalsMode(float filterMethod) {
    if (filterMethod == 0.0f)
        return NormalsMode::Rendered;
    if (filterMethod == 2.0f)
        return NormalsMode::Disabled;
    return NormalsMode::Calculated;
}
