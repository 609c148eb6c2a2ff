#pragma once

#include "app/core/ControlValues.h"
#include "app/core/Rendered.h"
#include "app/core/Tool.h"

namespace umbrix {

// Renders every view of a multi-view frame other than the one its source image holds, one at a
// time, each from its own R G B A, depth and normal as the tool renders a file of that view alone,
// its depth first converted from `depth`; keeps each view's four results in `result.views`.
// RunError, naming the file, when the tool fails or memory runs out.
void renderOtherViews(const Tool& tool, Rendered& result, const ControlValues& values, double time,
                      const DepthConvention& depth);

} // namespace umbrix
