#pragma once

#include "host/PixelAccessor.h"
#include "tests/reference/ReferencePasses.h"

#include <cstdint>

namespace bench {

// The occlusion pass as written, one whole FloatPixel read per neighbour, except that it reads the
// pre-occlusion content from `pre` and writes row y of `output`, so that rows can run on several
// threads without one reading a pixel that another writes. Costs the same as reading and writing
// one image.
void literalOcclusionRow(std::int32_t y, PixelAccessor& pre, PixelAccessor& output,
                         const reference::ChunkValues& values, std::int32_t width,
                         std::int32_t height);

} // namespace bench
