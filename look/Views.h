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

// `source` is the frame the tool rendered, `result` its output image. Beauty and Shaded (the
// beauty times the occlusion) go through the sRGB curve; the depth is stretched over its finite
// range. A NaN shows as magenta, as in previews. Views of the beauty need one (see beautyOf):
// without, they are black.
// The depth over [low, high] instead of its finite range.
std::string viewPixels(View view, const Frame& source, const Image& result,
                       std::optional<std::pair<float, float>> depthRange = std::nullopt);

// One channel alone, as grey over [0, 1] (NaN magenta): the result's R G B A by the names the
// probe gives them, or any other channel of the frame by its own name (the depth, a normal, a
// carried channel). Nothing for a name that is neither.
std::optional<std::string> channelPixels(const std::string& name, const Frame& source,
                                         const Image& result);
// The names channelPixels takes, in that order.
std::vector<std::string> channelNames(const Frame& source);

} // namespace umbrix::look
