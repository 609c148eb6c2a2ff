#include "app/files/Preview.h"

#include "app/files/AtomicFile.h"
#include "app/files/FormatsModule.h"
#include "app/images/HostImage.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace umbrix {

namespace {

using Rgb = PreviewColour;

constexpr Rgb NanColour = {255, 0, 255};

std::uint8_t byteOf(float unit) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(unit, 0.0f, 1.0f) * 255.0f));
}

void put(PreviewPicture& picture, int x, int y, const Rgb& colour) {
    const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                            static_cast<std::size_t>(x)) *
                           3;
    std::copy(colour.begin(), colour.end(), picture.rgb.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace

PreviewColour previewNormalColour(const float* xyz) {
    if (std::isnan(xyz[0]) || std::isnan(xyz[1]) || std::isnan(xyz[2]))
        return NanColour;
    return {byteOf((xyz[0] + 1.0f) * 0.5f), byteOf((xyz[1] + 1.0f) * 0.5f),
            byteOf((xyz[2] + 1.0f) * 0.5f)};
}

PreviewColour previewOcclusionColour(float v) {
    if (std::isnan(v))
        return NanColour;
    const std::uint8_t grey = byteOf(v);
    return {grey, grey, grey};
}

PreviewPicture previewPicture(const Image& result) {
    const auto width = static_cast<std::size_t>(result.Width);
    const auto height = static_cast<std::size_t>(result.Height);
    // The result's channels 0, 1, 2 hold the normal's z, y, x; a normal map shows x y z as R G B.
    const std::vector<float> samples =
        gatherPixels(result, {ResultNormalX, ResultNormalY, ResultNormalZ, ResultOcclusion});
    PreviewPicture picture{2 * result.Width, result.Height, {}};
    picture.rgb.resize(2 * width * height * 3);
    for (int y = 0; y < result.Height; ++y)
        for (int x = 0; x < result.Width; ++x) {
            const float* pixel =
                &samples[(static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) * 4];
            put(picture, x, y, previewNormalColour(pixel));
            put(picture, result.Width + x, y, previewOcclusionColour(pixel[3]));
        }
    return picture;
}

void writePreview(const std::string& path, const PreviewPicture& picture) {
    PlainPixels pixels;
    pixels.windows = {0, 0, picture.width, picture.height, 0, 0, picture.width, picture.height};
    pixels.channels = {"R", "G", "B"};
    pixels.bytes = true;
    pixels.data = picture.rgb.data();
    writeAtomically(path,
                    [&](const std::string& target) { imageFormats().write(target, path, pixels); });
}

} // namespace umbrix
