#pragma once

#include "app/core/FrameSource.h"

#include <cstring>
#include <optional>
#include <string>

namespace umbrix::look {

// One channel's samples wherever the frame keeps them (the tool's image or a carried plane), read
// as floats.
class ChannelSamples {
  public:
    static std::optional<ChannelSamples> of(const Frame& frame, const std::string& name);
    // The depth the tool reads: channel 4 of its image, zero where the file has none.
    static ChannelSamples depth(const Frame& frame);

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

// A frame's beauty: the input's own R G B, or else a renderer's combined layer
// (`ViewLayer.Combined.R` ...); nothing when it has neither.
struct Beauty {
    ChannelSamples r, g, b;
    std::string names; // for the page: "R G B"
};
std::optional<Beauty> beautyOf(const Frame& frame);

} // namespace umbrix::look
