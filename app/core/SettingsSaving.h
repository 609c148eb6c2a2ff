#pragma once

#include "app/core/ControlValues.h"
#include "app/core/FramePipeline.h"
#include "app/core/RenderOptions.h"

namespace umbrix {

// The stages of a run that saves its settings (--save-settings): they are written once the first
// frame has been read, so that a run that cannot start leaves no look behind; a dry run only checks
// that they could be.
FrameStages savingSettings(FrameStages stages, const RenderOptions& options,
                           const ControlValues& values);

} // namespace umbrix
