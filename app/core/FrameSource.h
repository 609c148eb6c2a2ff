#pragma once

#include "app/images/Frame.h"
#include "app/images/PlainImage.h"

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace umbrix {

// How a file's channels are taken: the part to render, --map's texts, and the layer the results
// are written under (with one, the file's own R G B A are carried, not overwritten).
struct OpenOptions {
    std::optional<std::string> part;
    std::vector<std::string> maps; // NAME=NUMBER or NAME=ROLE
    std::optional<std::string> layer;
};

// --map's texts, parsed and checked. UsageError for a bad one.
FrameNaming frameNaming(const OpenOptions& options);

// Opens an image file: an EXR from its header alone (size, windows, channels and their mapping,
// parts); any other format decoded whole. UsageError or RunError, naming the file, when it cannot.
std::shared_ptr<Frame> openFrame(const std::string& path, const OpenOptions& options);
std::shared_ptr<Frame> openFrame(const std::string& path, const FrameNaming& naming,
                                 const std::optional<std::string>& part);
// Reads the pixels of an opened frame; after it, the frame is only read. RunError, naming the file.
void loadFrame(Frame& frame);

// The camera a Distance depth is converted with: the file's screen window where it describes one,
// else a field of view of `camFov` degrees (the CamFOV control). `source` says which, for -v.
struct DepthCamera {
    RayCamera camera;
    std::string source;
};
DepthCamera depthCamera(const Frame& frame, double camFov);

// Converts a loaded frame's depth from `convention` to the planar depth the tool reads, before it
// renders, and that of each view it renders from a part of its own, each with its part's camera;
// the output's depth channels keep the file's samples. With Z, nothing is done.
void convertDepth(Frame& frame, const DepthConvention& convention, double camFov);

// What the tool renders of a loaded frame with its depth read as `convention`: the frame itself for
// z, else a copy of its source image (R G B A, depth, supplied normal) with the depth converted,
// the frame untouched, so that it renders again with other values. RunError when memory runs out.
std::shared_ptr<const Frame> convertedSource(std::shared_ptr<const Frame> frame,
                                             const DepthConvention& convention, double camFov);

// One array the caller holds, as numpy describes one: sample (row 0, column 0, component 0) at
// `data`, the others `strides` bytes apart per row, per column and per component (any sign).
struct ArrayPlane {
    const char* data = nullptr;          // null: not given
    SampleType type = SampleType::Float; // Half, Float, Double or LongDouble
    bool swapped = false;                // its bytes in the other order than this machine's
    std::array<std::ptrdiff_t, 3> strides{};
};

// A frame held by the caller, row 0 the top row: depth (one component), and, optionally, the
// supplied normal (x y z) and the input's R G B A.
struct ArrayFrame {
    int width = 0;
    int height = 0;
    ArrayPlane depth;
    ArrayPlane normal;
    ArrayPlane rgba;
    std::string name = "array"; // names the frame in messages
};

// A source image an earlier frame of arrays was given, of this size and these channels (as
// minihost::channels lists them), to fill in place of a new one; null when there is none.
using KeptImage =
    std::function<minihost::ImagePtr(int width, int height, const std::vector<int>& channels)>;

// A loaded frame of those arrays, as a file holding R G B A, Z and N.X N.Y N.Z would be, each
// sample converted as a file's is; filled on the host's worker pool. UsageError for a size that
// is not above 0; RunError (Cause::Memory) "NAME: out of memory for the arrays' image".
std::shared_ptr<Frame> frameFromArrays(const ArrayFrame& arrays, const KeptImage& kept = {});

// A frame of C-ordered 32-bit float planes: depth (width x height), and, optionally, the supplied
// normal (x y z per pixel) and the input's R G B A (per pixel).
struct MemoryFrame {
    int width = 0;
    int height = 0;
    std::span<const float> depth;
    std::span<const float> normal; // empty, or width x height x 3
    std::span<const float> rgba;   // empty, or width x height x 4
    std::string name = "array";    // names the frame in messages
};
// frameFromArrays of those planes. UsageError when a plane's size does not fit.
std::shared_ptr<Frame> frameFromMemory(const MemoryFrame& planes);

// A loaded frame of an image made in memory, its channels named and mapped as a file's would be;
// `name` names it in messages.
std::shared_ptr<Frame> frameOfImage(PlainImage image, const std::string& name);

// Channels `numbers` of a loaded frame's source image, side by side per pixel, row 0 the top row
// of the data window: {0, 1, 2, 3} for the input's R G B A, {DepthChannel} for its depth.
std::vector<float> sourcePixels(const Frame& frame, const std::vector<int>& numbers);

} // namespace umbrix
