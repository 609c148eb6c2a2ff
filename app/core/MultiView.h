#pragma once

#include "app/core/ControlValues.h"
#include "app/core/Rendered.h"
#include "app/core/Tool.h"

namespace umbrix {

// Renders every view of a multi-view frame other than the one its source image holds, one at a
// time, each from its own R G B A, depth and normal as the tool renders a file of that view alone,
// its depth first converted from `depth`; keeps each view's four results in `result.views`. A
// view of a part of its own is rendered from its part's frame, converted with the frame, and keeps
// the whole image the tool rendered; its frame's source image is freed once the frame's is.
// RunError, naming the file, when the tool fails or memory runs out.
void renderOtherViews(const Tool& tool, Rendered& result, const ControlValues& values, double time,
                      const DepthConvention& depth);

// What the tool renders for view `view` of a loaded frame (its own for a single view), its depth
// read as `depth`, the frame untouched. RunError when memory runs out.
std::shared_ptr<const Frame> viewToRender(const std::shared_ptr<const Frame>& frame,
                                          std::size_t view, const DepthConvention& depth,
                                          double camFov);

} // namespace umbrix
