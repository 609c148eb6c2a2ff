#pragma once

#include "host/Image.h"

#include <array>
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
using PreviewColour = std::array<std::uint8_t, 3>;
PreviewColour previewNormalColour(const float* xyz);
PreviewColour previewOcclusionColour(float occlusion);

// Writes the picture atomically. RunError on failure.
void writePreview(const std::string& path, const PreviewPicture& picture);

} // namespace umbrix
