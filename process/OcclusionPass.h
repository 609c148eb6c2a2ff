#pragma once

#include "host/PixelAccessor.h"
#include "process/ChunkSettings.h"
#include "process/OcclusionSamples.h"

#include <cstdint>

namespace umbrix::process {

// Second run, row y: the occlusion value of every pixel of the row from the recorded samples, and
// the row's output pixels written once, whole: the source pixel with its pre-occlusion channels
// 0-2 (the normal, or zeros with "UseNormals" off) and the occlusion value in channel 3. Forms the
// rows of calculated normals it needs that no other chunk has formed yet.
void occlusionPass(std::int32_t y, PixelAccessor& source, PixelAccessor& result,
                   const ChunkSettings& settings, std::int32_t width, std::int32_t height,
                   OcclusionSamples& samples);

} // namespace umbrix::process
