#pragma once

#include "app/files/ImageFormats.h"
#include "app/files/OutputChannels.h"
#include "app/images/Frame.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

// Opens an image file as a frame, its channels mapped: EXR through OpenEXR from the header alone
// (`part` names the part to render), any other format through the formats module, which decodes
// it whole. UsageError or RunError, naming the file, when it cannot.
Frame openFile(const std::string& path, const FrameNaming& naming,
               const std::optional<std::string>& part);
// Reads an opened frame's pixels, unless they are in already. RunError, naming the file.
void loadPixels(Frame& frame);
bool isLoaded(const Frame& frame);

// The attributes of what a frame was read from whose names start with `prefix`: an EXR's rendered
// part's header, another format's metadata. String, int, float and double values as they are; a
// value of any other type as its type's name in angle brackets ("<v2f>").
std::vector<Attribute> storedAttributes(const Frame& frame, std::string_view prefix);

// What a format can hold of a result, from the path's extension. UsageError when no format goes
// with it.
OutputFormat outputFormat(const std::string& path);

// The names of the frame's channels that the format cannot hold, when --ch does not choose them.
std::vector<std::string> droppedChannels(const Frame& frame, const OutputFormat& format,
                                         const OutputOptions& options);

// Writes the tool's `results` of `source` as the options ask, so that the file appears whole or not
// at all; --clamp clamps their occlusion in place. UsageError for a channel the options
// name that the frame lacks; RunError on failure.
void writeFrame(const std::string& path, const OutputFormat& format, const Frame& source,
                const FrameResults& results, const OutputOptions& options);

// Occlusion is not clamped by the tool: this limits it to [0, 1] (NaN stays).
void clampOcclusion(Image& result);

} // namespace umbrix
