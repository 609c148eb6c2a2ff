#pragma once

#include "app/files/ImageFormats.h"
#include "app/images/Frame.h"

#include <optional>
#include <string>
#include <vector>

namespace umbrix {

// Reads an image file into a frame: EXR through OpenEXR (`part` names the part to render), any
// other format through the formats module. UsageError or RunError, naming the file, when it
// cannot.
Frame readFrame(const std::string& path, const std::vector<ChannelOverride>& overrides,
                const std::optional<std::string>& part);

// What a format can hold of a result, from the path's extension. UsageError when no format goes
// with it.
OutputFormat outputFormat(const std::string& path);

// The names of the frame's channels that the format cannot hold.
std::vector<std::string> droppedChannels(const Frame& frame, const OutputFormat& format);

// Writes a rendered frame so that it appears whole or not at all. RunError on failure.
void writeFrame(const std::string& path, const OutputFormat& format, Frame& frame);

} // namespace umbrix
