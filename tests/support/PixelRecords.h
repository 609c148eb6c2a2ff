#pragma once

#include "host/FloatPixel.h"
#include "host/Image.h"

#include <bit>
#include <cstddef>
#include <cstdint>

namespace testsupport {

// A record whose every channel holds a value no read function produces by accident.
inline FloatPixel garbageRecord() {
    FloatPixel record;
    for (int c = 0; c < FloatPixel::Channels; ++c)
        record[c] = std::bit_cast<float>(0xdeadbe00U + static_cast<std::uint32_t>(c));
    return record;
}

// A record whose channels all differ from each other and from `seed`'s other records.
inline FloatPixel distinctRecord(float seed) {
    FloatPixel record;
    for (int c = 0; c < FloatPixel::Channels; ++c)
        record[c] = seed + static_cast<float>(c) * 0.25f;
    return record;
}

// The addresses of pixel (x, y) as the image's row tables and strides give them.
inline std::uint8_t* firstAddress(const Image& image, int x, int y) {
    return image.FirstRows ? image.FirstRows[y] + std::ptrdiff_t{x} * image.FirstStride : nullptr;
}

inline std::uint8_t* secondAddress(const Image& image, int x, int y) {
    return image.SecondRows ? image.SecondRows[y] + std::ptrdiff_t{x} * image.SecondStride
                            : nullptr;
}

} // namespace testsupport
