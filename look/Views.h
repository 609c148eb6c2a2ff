#pragma once

#include "app/core/FrameSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace umbrix::look {

// What the viewer can show of a render, as 8-bit RGBA rows (top row first) for a canvas.
enum class View { Normals, Occlusion, Shaded, Depth, Beauty };

std::optional<View> viewNamed(std::string_view name);

// What of the picture is sent: a part of it (x, y, width, height in its pixels) at a size no
// larger than the part, each pixel sent the area average of the part's pixels under it.
struct Shown {
    int x = 0, y = 0, width = 0, height = 0;
    int sentWidth = 0, sentHeight = 0;

    static Shown whole(const Image& result);
};

// `source` is the frame the tool rendered, `result` its output image. Beauty and Shaded (the
// beauty times the occlusion) go through the sRGB curve; the depth is stretched over its finite
// range (of the whole picture, whatever part is shown). A NaN shows as magenta, as in previews,
// and a sent pixel over any NaN is magenta too. Views of the beauty need one (see beautyOf):
// without, they are black.
// The depth over [low, high] instead of its finite range.
std::string viewPixels(View view, const Frame& source, const Image& result, const Shown& shown,
                       std::optional<std::pair<float, float>> depthRange = std::nullopt);

// One channel alone, as grey over [0, 1] (NaN magenta): the result's R G B A by the names the
// probe gives them, or any other channel of the frame by its own name (the depth, a normal, a
// carried channel). Nothing for a name that is neither.
std::optional<std::string> channelPixels(const std::string& name, const Frame& source,
                                         const Image& result, const Shown& shown);
// The names channelPixels takes, in that order.
std::vector<std::string> channelNames(const Frame& source);

} // namespace umbrix::look
