#pragma once

#include "app/core/RenderOptions.h"

namespace umbrix {

// `umbrix render`: one image, or a sequence with --frames. Throws UsageError or RunError.
void runRender(const RenderOptions& options);

} // namespace umbrix
