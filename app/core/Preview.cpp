#include "app/core/Preview.h"

#include "app/files/AtomicFile.h"
#include "app/files/FormatsModule.h"
#include "app/images/HostImage.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace umbrix {

namespace {

using Rgb = PreviewColour;

void put(PreviewPicture& picture, int x, int y, const Rgb& colour) {
    const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                            static_cast<std::size_t>(x)) *
                           3;
    std::copy(colour.begin(), colour.end(), picture.rgb.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace

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
