#pragma once

#include "app/ImageFile.h"
#include "app/RenderedImage.h"

#include <string>
#include <vector>

namespace umbrix {

// Writes the tool's result: every channel as float32 under its own name when the format allows,
// else R G B A. Returns the names of the channels the format could not hold.
std::vector<std::string> writeResult(const std::string& path, const OutputFormat& format,
                                     const RenderedImage& rendered);

} // namespace umbrix
