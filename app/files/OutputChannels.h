#pragma once

#include "app/files/OutputOptions.h"
#include "app/images/Frame.h"

#include <string>
#include <vector>

namespace umbrix {

// A channel to write: its name and type in the file, and where its samples are.
struct OutputChannel {
    std::string name;
    SampleType type = SampleType::Float;
    int number = -1;  // the tool's channel, when the image holds it
    int carried = -1; // else its carried plane
    SampleType stored = SampleType::Float;
    int xSampling = 1;
    int ySampling = 1;
    bool perceptuallyLinear = false;
    int view = -1; // a result of a view rendered apart (Frame::views), `number` in its image
};

// The tool's results a frame is written from: its source image's, and those of each view rendered
// apart, by view (null for the others); a view of a part of its own, the whole image the tool
// rendered from that part.
struct FrameResults {
    Image* image = nullptr;
    std::vector<Image*> views;
};

// The frame's channels under their output names: the four results, the four of each view rendered
// apart from the frame's part, then every other file channel in the file's order.
std::vector<OutputChannel> frameOutputs(const Frame& frame);

// The channels to write: the picks, renamed, in their order, or every channel (`results` alone:
// the results, R G B and A if `alpha`), each in the type asked for. UsageError, listing the
// output's channel names, for a pick or a type naming no channel.
std::vector<OutputChannel> outputChannels(const Frame& frame, const OutputOptions& options,
                                          bool resultsOnly, bool alpha);

// Where an output channel's samples are, unless it is carried.
PlaneSlice resultSlice(const FrameResults& results, const OutputChannel& channel);

} // namespace umbrix
