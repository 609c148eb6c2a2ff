#pragma once

#include "app/core/FrameSource.h"

#include <cstring>
#include <optional>
#include <string>

namespace umbrix {

// One channel of a loaded frame, read for display wherever the frame keeps it: the tool's source
// image, or a carried plane in the file's own type (half, uint or float), subsampled or not. Reads
// the frame in place: the frame must outlive it.
class PlaneSamples {
  public:
    // The channel the file names `name`; nothing when the frame has none of that name, or keeps
    // no samples of it.
    static std::optional<PlaneSamples> of(const Frame& frame, const std::string& name);
    // The depth the tool reads: channel 4 of its source image, zero where the frame has none.
    static PlaneSamples depth(const Frame& frame);

    // The sample at pixel (x, y) of the data window, as a float.
    float at(int x, int y) const {
        if (!Origin)
            return 0.0f;
        const char* sample = Origin + static_cast<std::size_t>(y / YSampling) * YStride +
                             static_cast<std::size_t>(x / XSampling) * XStride;
        if (Type != SampleType::Float)
            return sampleAsFloat(sample, Type);
        float value;
        std::memcpy(&value, sample, sizeof value);
        return value;
    }

  private:
    const char* Origin = nullptr; // null: zero everywhere
    std::size_t XStride = 0, YStride = 0;
    int XSampling = 1, YSampling = 1;
    SampleType Type = SampleType::Float;
};

// A frame's beauty: the input's own R G B (by those names, or the channels it maps to them, as a
// view's `right.R` ...), or else a renderer's combined layer (`ViewLayer.Combined.R` ...); nothing
// when it has none.
struct Beauty {
    PlaneSamples r, g, b;
    std::string names; // "R G B"
};
std::optional<Beauty> beautyOf(const Frame& frame);

} // namespace umbrix
