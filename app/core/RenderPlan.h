#pragma once

#include "app/core/Output.h"
#include "app/core/RenderJobs.h"
#include "app/core/RenderOptions.h"
#include "app/images/Frame.h"

namespace umbrix {

// What every frame of a render shares, worked out from the options before the tool is loaded or
// anything is read.
struct RenderPlan {
    Jobs jobs;
    FrameNaming naming;
    OutputFormat format;
    OutputShape output;
};

// Every check of render's options, in the order a user meets them: the frame patterns, a preview
// or --save-settings over a file the run reads or writes, the formats of the output and preview,
// --map, --ch, -d, --compression and --depth (which the values then take: see ControlSources).
// UsageError, or RunError when the formats module is needed and cannot be loaded.
RenderPlan planRender(const RenderOptions& options);

} // namespace umbrix
