#pragma once

#include "process/OcclusionSamples.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace umbrix::process {

// The rows the windows of row y reach inside the image, and where each array's first one starts.
struct WindowRows {
    const float* depth;
    const float* normal0;
    const float* normal1;
    const float* normal2;
    const float* inverse;
    std::ptrdiff_t stride; // floats from one row to the next
    std::ptrdiff_t centre; // floats from the first row to row y
    std::int32_t count;
    std::int32_t width;
    std::int32_t radius;
    std::int32_t top; // the image row of the first
};

inline WindowRows windowRows(const OcclusionSamples& samples, std::int32_t y, std::int32_t radius) {
    const std::int64_t first = std::max<std::int64_t>(-std::int64_t{radius}, -std::int64_t{y});
    const std::int64_t last =
        std::min<std::int64_t>(std::int64_t{radius} - 1, std::int64_t{samples.height()} - 1 - y);
    const auto top = static_cast<std::int32_t>(y + first);
    const std::ptrdiff_t stride = samples.width();
    return {samples.depth(top),
            samples.normal(0, top),
            samples.normal(1, top),
            samples.normal(2, top),
            samples.inverse(top),
            stride,
            -first * stride,
            static_cast<std::int32_t>(last - first + 1),
            samples.width(),
            radius,
            top};
}

// For the block of `lanes` centre pixels from x0: the column offsets from -r to r - 1 at which some
// lane's neighbour lies inside the image, whether every lane's does at every offset, and the
// image columns the block's windows reach.
struct BlockColumns {
    std::ptrdiff_t first, last;
    bool inside;
    std::ptrdiff_t leftmost, rightmost;
};

inline BlockColumns blockColumns(std::int64_t x0, std::int64_t lanes, const WindowRows& rows) {
    const std::int64_t r = rows.radius;
    const std::int64_t width = rows.width;
    const std::int64_t first = std::max(-r, -(x0 + lanes - 1));
    const std::int64_t last = std::min(r - 1, width - 1 - x0);
    return {static_cast<std::ptrdiff_t>(first), static_cast<std::ptrdiff_t>(last),
            x0 - r >= 0 && x0 + lanes - 1 + r - 1 <= width - 1,
            static_cast<std::ptrdiff_t>(std::max<std::int64_t>(x0 + first, 0)),
            static_cast<std::ptrdiff_t>(std::min(x0 + last + lanes - 1, width - 1))};
}

} // namespace umbrix::process
