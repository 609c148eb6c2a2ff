#pragma once

// One pixel as 32-bit floats, indexed by channel number.
struct FloatPixel {
    static constexpr int Channels = 128;
    float Value[Channels];

    float& operator[](int channel) { return Value[channel]; }
    const float& operator[](int channel) const { return Value[channel]; }
};

static_assert(sizeof(FloatPixel) == 512);
