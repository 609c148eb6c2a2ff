#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// What the occlusion windows read of every pixel's pre-occlusion content, one array per quantity so
// that neighbouring centre pixels load contiguously: depth, the three normal components the mode
// compares, and the normal's 1 / (L x L) term, L its squared length.
class OcclusionSamples {
  public:
    // Sizes the arrays for a width x height image, keeping earlier storage when it is large
    // enough. Throws std::bad_alloc when the memory cannot be had.
    void reset(std::int32_t width, std::int32_t height);

    std::int32_t width() const { return Width; }
    std::int32_t height() const { return Height; }

    float* depth(std::int32_t y) { return row(Depth, y); }
    float* normal(int component, std::int32_t y) { return row(Normal[component], y); }
    float* inverse(std::int32_t y) { return row(Inverse, y); }
    const float* depth(std::int32_t y) const { return row(Depth, y); }
    const float* normal(int component, std::int32_t y) const { return row(Normal[component], y); }
    const float* inverse(std::int32_t y) const { return row(Inverse, y); }

  private:
    float* row(const std::unique_ptr<float[]>& array, std::int32_t y) const {
        return array.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width);
    }

    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::size_t Capacity = 0;
    std::unique_ptr<float[]> Depth;
    std::unique_ptr<float[]> Normal[3];
    std::unique_ptr<float[]> Inverse;
};
