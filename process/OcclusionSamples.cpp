#include "process/OcclusionSamples.h"

#include <limits>
#include <new>

void OcclusionSamples::reset(std::int32_t width, std::int32_t height) {
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixels > Capacity) {
        if (pixels > std::numeric_limits<std::ptrdiff_t>::max() / sizeof(float))
            throw std::bad_alloc();
        Depth.reset();
        Inverse.reset();
        for (auto& component : Normal)
            component.reset();
        Capacity = 0;
        Depth.reset(new float[pixels]);
        for (auto& component : Normal)
            component.reset(new float[pixels]);
        Inverse.reset(new float[pixels]);
        Capacity = pixels;
    }
    Width = width;
    Height = height;
}
