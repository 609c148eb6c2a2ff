#pragma once

#include "app/files/OutputChannels.h"
#include "app/images/Frame.h"

#include <string>

namespace umbrix {

// Writes the tool's `results` of `frame`, channels `written`, as an EXR file at `target`, straight
// from the planes, with the input's metadata and the options' compression and stamp. An EXR input's
// other parts are copied as they are stored, each in its place, but for the parts of views
// rendered apart, written as the frame's own part is, with the same options. `shown` names the
// output in messages. RunError on failure.
void writeExr(const std::string& target, const std::string& shown, const Frame& frame,
              const FrameResults& results, const std::vector<OutputChannel>& written,
              const OutputOptions& options);

} // namespace umbrix
