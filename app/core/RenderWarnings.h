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
// them (in each view rendered); a channel passed over that could have been the depth or a normal;
// a view without depth. `shown` names the input (the pattern, in a sequence).
Warnings channelWarnings(const Frame& frame, const std::string& shown, const ControlValues& values);

// A loaded frame's depth read as planar (`convention` Z) whose every finite value lies within
// [0, 1], in any view rendered: more likely a normalised or inverse depth than a scene that small.
Warnings depthWarnings(const Frame& frame, const std::string& shown,
                       const DepthConvention& convention);

// The role of a channel number, as -v shows it: "normal z (result)", "depth", "carried", ...
std::string roleOf(int number);

} // namespace umbrix
