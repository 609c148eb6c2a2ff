#pragma once

#include "host/PixelAccessor.h"
#include "process/ChunkSettings.h"

#include <cstdint>

namespace umbrix::process {

// Writes row y of the output: the source pixels with channels 0, 1 and 2 replaced by the normal
// computed from the depth (channel 4) of each pixel's four direct neighbours.
void normalsPass(std::int32_t y, PixelAccessor& source, PixelAccessor& result,
                 const ChunkSettings& settings, std::int32_t width, std::int32_t height);

} // namespace umbrix::process
