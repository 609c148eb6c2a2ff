#pragma once

#include "app/core/ControlValues.h"
#include "app/core/Rendered.h"
#include "app/core/Warning.h"
#include "app/files/AtomicFile.h"
#include "app/files/ImageFormats.h"
#include "app/files/OutputChannels.h"

#include <optional>
#include <string>
#include <vector>

namespace umbrix {

// What is written, in oiiotool's words (--layer is a matter of opening: see OpenOptions).
struct OutputRequest {
    std::optional<std::string> channels;    // --ch LIST
    std::vector<std::string> types;         // -d TYPE, -d NAME=TYPE
    std::optional<std::string> compression; // --compression NAME[:LEVEL]
    bool clamp = false;                     // --clamp
};

struct OutputShape {
    OutputOptions options;
    Warnings warnings; // a lossy compression
};
// UsageError for a bad list, type or compression.
OutputShape outputShape(const OutputRequest& request);

// What a path's format can hold. UsageError when no format goes with its extension.
OutputFormat formatOf(const std::string& path);

// Checks, from an opened frame's header, that every channel --ch and -d name is one the output
// has, in each part an EXR output renders. UsageError listing the output's channels.
void checkOutputChannels(const Frame& frame, const OutputOptions& options,
                         const OutputFormat& format);

// The channels a format without room for them drops, and the views in parts of their own, as
// warnings naming `shown` (the output as the user gave it); none when it keeps them all.
Warnings writeWarnings(const Frame& frame, const OutputFormat& format, const OutputOptions& options,
                       const std::string& shown);

// Writes a result to `path` atomically, stamped with the program, the values and the time of
// writing. --clamp clamps the result's occlusion in place. UsageError or RunError, naming the file.
// Every view of a multi-view frame must have been rendered (renderOtherViews).
// Results of one multi-part EXR are not written from two threads at once (its other parts are
// copied from the one open input).
void writeResult(const std::string& path, const OutputFormat& format, Rendered& result,
                 const OutputOptions& options, const ControlValues& values);

// Makes an interrupt, quit, hang-up or termination remove the output being written before the
// process ends, so that a stopped run leaves every output whole or absent. Once a process. A face
// inside another program (the Python module) watches signals with a SignalWatch instead.
void keepOutputsWholeOnSignal();

// The result's R G B A (normal z y x, occlusion), side by side per pixel, row 0 the top row of the
// data window.
std::vector<float> resultPixels(const Rendered& result);

} // namespace umbrix
