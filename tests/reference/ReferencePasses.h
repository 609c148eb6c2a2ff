#pragma once

#include "host/PixelAccessor.h"

#include <cstdint>

namespace reference {

// The nine values a chunk reads, converted as the tool holds them.
struct ChunkValues {
    std::int32_t Matrix;
    float SmalDepth;
    float Amount;
    float DepthThreshold;
    float NormalsZControll;
    float NormalsAngleControll;
    float UseNormals;
    float FilterMethod;
    double CamFOV;
};

// Channels 0-2 of output row y: the normal from the depth of each pixel's four neighbours.
void normalsRow(std::int32_t y, PixelAccessor& source, PixelAccessor& output,
                const ChunkValues& values, std::int32_t width, std::int32_t height);

// With "UseNormals" 0, the occlusion pass first copies the source row with channels 0-2 zeroed.
void zeroedNormalsRow(std::int32_t y, PixelAccessor& source, PixelAccessor& output,
                      std::int32_t width);

// Channel 3 of output row y, from the pre-occlusion content `pre` holds around it. The render
// passes the output image as both; a benchmark running rows at once passes a copy as `pre`.
void occlusionRow(std::int32_t y, PixelAccessor& pre, PixelAccessor& output,
                  const ChunkValues& values, std::int32_t width, std::int32_t height);

} // namespace reference
