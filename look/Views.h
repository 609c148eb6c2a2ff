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
std::string viewPixels(View view, const Frame& source, const Image& result);

} // namespace umbrix::look
