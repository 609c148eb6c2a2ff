#pragma once

#include "app/files/OutputChannels.h"
#include "app/images/Frame.h"

#include <string>

namespace umbrix {

// Writes a rendered frame's channels `written` as an EXR file at `target`, straight from its
// planes, with the input's metadata and the options' compression and stamp. An EXR input's
// other parts are copied as they are stored, each in its place. `shown` names the output in
// messages. RunError on failure.
void writeExr(const std::string& target, const std::string& shown, Frame& frame,
              const std::vector<OutputChannel>& written, const OutputOptions& options);

} // namespace umbrix
