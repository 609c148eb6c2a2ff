#pragma once

#include "app/core/ControlValues.h"
#include "app/core/Warning.h"
#include "app/images/Frame.h"

#include <string>

namespace umbrix {

// Prints the core's warnings, each once a run however many frames raise it.
void printWarnings(const Warnings& warnings);

// -v: which role each of the frame's channels takes, how its depth is read, then every control's
// value in effect.
void describeRun(const Frame& frame, const std::string& shown, const ControlValues& values,
                 const DepthConvention& depth);

} // namespace umbrix
