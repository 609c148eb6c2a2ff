#include "process/SourceRows.h"

#include "contract/Controls.h"

#include <algorithm>
#include <utility>

namespace umbrix::process {

SourceRows::SourceRows(PixelAccessor& source, std::int32_t y, std::int32_t width,
                       std::int32_t height)
    : Source(source), Y(y), Width(width), Up(std::max(y - 1, 0)),
      Down(std::min(y + 1, height - 1)) {}

float SourceRows::depthAt(std::int32_t x, std::int32_t y, FloatPixel& record) {
    Source.MoveTo(x, y);
    Source.ReadPixel(record);
    return record[DepthChannel];
}

NeighbourDepths SourceRows::advance(std::int32_t x) {
    float left;
    if (x == 0) {
        left = depthAt(0, Y, *Centre);
    } else {
        left = (*Centre)[DepthChannel];
        std::swap(Centre, Next);
    }
    const float own = (*Centre)[DepthChannel];
    const float right = x + 1 < Width ? depthAt(x + 1, Y, *Next) : own;
    const float above = Up != Y ? depthAt(x, Up, Neighbour) : own;
    const float below = Down != Y ? depthAt(x, Down, Neighbour) : own;
    return {left, right, above, below};
}

} // namespace umbrix::process
