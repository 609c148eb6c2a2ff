#pragma once

#include "host/Image.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace umbrix {

// An 8-bit RGB picture of a result, twice its width: the normals (x y z, -1..1 to 0..255) on the
// left, the occlusion (0..1 as black..white) on the right; NaN shows as magenta.
struct PreviewPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};
PreviewPicture previewPicture(const Image& result);

// One result pixel as the preview shows it, NaN as magenta: the normal from its x y z, and the
// occlusion as grey. For other pictures that must match the preview's.
// Inline: a viewer calls them for every pixel of every picture.
using PreviewColour = std::array<std::uint8_t, 3>;

// unit in [0, 1] to 0..255, halves rounded up (as lround would, without its call); NaN gives 0.
inline std::uint8_t previewByte(float unit) {
    const float clamped = unit > 0.0f ? (unit < 1.0f ? unit : 1.0f) : 0.0f;
    // Exact: the product is a float below 256, and adding a half to it is exact in double.
    return static_cast<std::uint8_t>(static_cast<int>(static_cast<double>(clamped * 255.0f) + 0.5));
}

inline PreviewColour previewNormalColour(const float* xyz) {
    if (std::isnan(xyz[0]) || std::isnan(xyz[1]) || std::isnan(xyz[2]))
        return {255, 0, 255};
    return {previewByte((xyz[0] + 1.0f) * 0.5f), previewByte((xyz[1] + 1.0f) * 0.5f),
            previewByte((xyz[2] + 1.0f) * 0.5f)};
}

inline PreviewColour previewOcclusionColour(float occlusion) {
    if (std::isnan(occlusion))
        return {255, 0, 255};
    const std::uint8_t grey = previewByte(occlusion);
    return {grey, grey, grey};
}

// Writes the picture atomically. RunError on failure.
void writePreview(const std::string& path, const PreviewPicture& picture);

} // namespace umbrix
