#pragma once

#include "app/core/ControlValues.h"
#include "app/core/Warning.h"
#include "app/images/Frame.h"

#include <string>

namespace umbrix {

// Control values outside their declared range, both passes off, calculated normals that can only
// come out NaN.
Warnings controlWarnings(const ControlValues& values);

// A frame's channels under the values: no depth; no supplied normals where occlusion compares
// them; a channel passed over that could have been the depth or a normal. `shown` names the input
// (the pattern, in a sequence).
Warnings channelWarnings(const Frame& frame, const std::string& shown, const ControlValues& values);

// The role of a channel number, as -v shows it: "normal z (result)", "depth", "carried", ...
std::string roleOf(int number);

} // namespace umbrix
