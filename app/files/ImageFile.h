#pragma once

#include "app/files/ImageFormats.h"
#include "app/files/OutputChannels.h"
#include "app/images/Frame.h"

#include <optional>
#include <string>
#include <vector>

namespace umbrix {

// Reads an image file into a frame: EXR through OpenEXR (`part` names the part to render), any
// other format through the formats module. UsageError or RunError, naming the file, when it
// cannot.
Frame readFrame(const std::string& path, const FrameNaming& naming,
                const std::optional<std::string>& part);

// What a format can hold of a result, from the path's extension. UsageError when no format goes
// with it.
OutputFormat outputFormat(const std::string& path);

// The names of the frame's channels that the format cannot hold, when --ch does not choose them.
std::vector<std::string> droppedChannels(const Frame& frame, const OutputFormat& format,
                                         const OutputOptions& options);

// Writes a rendered frame's channels as the options ask, so that the file appears whole or not at
// all. UsageError for a channel the options name that the frame lacks; RunError on failure.
void writeFrame(const std::string& path, const OutputFormat& format, Frame& frame,
                const OutputOptions& options);

} // namespace umbrix
