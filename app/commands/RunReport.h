#pragma once

#include "app/images/Frame.h"
#include "app/images/ToolSession.h"

#include <string>

namespace umbrix {

// What a run is about to do that the user may not mean. Each warning is printed once a run.

// Before anything is read: control values outside their declared range, both passes off,
// calculated normals that can only come out NaN.
void warnAboutControls(const ToolSession& tool);

// A frame's channels under the controls in effect: no depth; no supplied normals where occlusion
// compares them; a channel passed over that could have been the depth or a normal. `shown` names
// the input (the pattern, in a sequence).
void warnAboutChannels(const Frame& frame, const std::string& shown, const ToolSession& tool);

// -v: which role each of the frame's channels takes, then every control's value in effect.
void describeRun(const Frame& frame, const std::string& shown, const ToolSession& tool);

} // namespace umbrix
