#pragma once

#include "app/images/Frame.h"

#include <string>

namespace umbrix {

// Writes a rendered frame as an EXR file at `target`, straight from its planes: the four results
// as 32-bit floats, every other channel in the type and sampling it came in. An EXR input's other
// parts are copied as they are stored, each in its place. `shown` names the output in messages.
// RunError on failure.
void writeExr(const std::string& target, const std::string& shown, Frame& frame);

} // namespace umbrix
