#pragma once

#include "process/NormalSteps.h"
#include "process/RowsOnce.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace umbrix::process {

// What the occlusion windows read of every pixel's pre-occlusion content, one array per quantity so
// that neighbouring centre pixels load contiguously: depth, the three normal components the mode
// compares, and the normal's 1 / (L x L) term, L its squared length. 20 bytes per pixel.
class OcclusionSamples {
  public:
    // Floats kept before the first and after the last pixel of every array, so that a vector load
    // of up to Slack + 1 lanes starting at any column from -Slack to width - 1 stays inside the
    // allocation; the lanes outside the image are masked by the reader.
    static constexpr std::size_t Slack = 16;

    // Sizes the arrays for a width x height image, keeping earlier storage when it is large
    // enough, and marks every row's normal steps and normals unformed. Throws std::bad_alloc when
    // the memory cannot be had.
    void reset(std::int32_t width, std::int32_t height);

    std::int32_t width() const { return Width; }
    std::int32_t height() const { return Height; }

    float* depth(std::int32_t y) { return row(0, y); }
    float* normal(int component, std::int32_t y) { return row(1 + component, y); }
    float* inverse(std::int32_t y) { return row(4, y); }
    const float* depth(std::int32_t y) const { return row(0, y); }
    const float* normal(int component, std::int32_t y) const { return row(1 + component, y); }
    const float* inverse(std::int32_t y) const { return row(4, y); }

    // Formed from the samples while the windows run, hence reachable from const samples.
    NormalSteps& steps() const { return Steps; }
    // Rows whose normals and 1 / (L x L) terms the second run forms from the recorded depths.
    RowsOnce& normalRows() { return NormalRows; }

    // The column coordinates of step s (columnCoordinates), which every row's normals share:
    // formed once per render, or into `scratch` should a chunk come with another step.
    const float* columnCoordinates(float s, std::vector<float>& scratch);

  private:
    static constexpr int Arrays = 5;

    struct Release {
        void operator()(float* memory) const;
    };

    float* row(int array, std::int32_t y) const {
        return Memory.get() + static_cast<std::size_t>(array) * ArrayFloats + Slack +
               static_cast<std::size_t>(y) * static_cast<std::size_t>(Width);
    }

    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::size_t Capacity = 0;    // pixels
    std::size_t ArrayFloats = 0; // Capacity and the slack on both sides
    std::unique_ptr<float[], Release> Memory;
    mutable NormalSteps Steps;
    RowsOnce NormalRows;
    RowsOnce ColumnsOnce;
    std::vector<float> Columns;
    std::uint32_t ColumnStep = 0;
};

} // namespace umbrix::process
