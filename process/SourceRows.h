#pragma once

#include "host/PixelAccessor.h"

#include <cstdint>

namespace umbrix::process {

struct NeighbourDepths {
    float left, right, above, below;
};

// The source pixels the normals of one row need, each read once: the row's own records one pixel
// ahead, so that the next one's depth is the right neighbour's, and the rows above and below pixel
// by pixel (the pixel itself at the image's edges). The source is not written during a render and
// its read function gives the same values for a pixel every time, so these are the depths that a
// read of every neighbour gives.
class SourceRows {
  public:
    SourceRows(PixelAccessor& source, std::int32_t y, std::int32_t width, std::int32_t height);

    // The neighbour depths of pixel x; called for x = 0, 1, ... in order. Afterwards centre()
    // holds pixel x's record, which the caller may change until the next call.
    NeighbourDepths advance(std::int32_t x);
    FloatPixel& centre() { return *Centre; }

  private:
    float depthAt(std::int32_t x, std::int32_t y, FloatPixel& record);

    PixelAccessor& Source;
    std::int32_t Y, Width, Up, Down;
    FloatPixel Records[2];
    FloatPixel Neighbour;
    FloatPixel* Centre = &Records[0];
    FloatPixel* Next = &Records[1];
};

} // namespace umbrix::process
