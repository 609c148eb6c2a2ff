#pragma once

#include "app/images/Frame.h"

#include <cstddef>
#include <exception>
#include <functional>

namespace umbrix {

// Frames 0 .. count-1 through three stages at once: while frame N renders on the calling thread,
// frame N+1 is read and frame N-1 written, each on a thread of its own. A stage takes its next
// frame only once the stage after it has taken the one before, so at most one frame is in each
// stage and memory does not grow with the number of frames. Frames are written in order.
struct FrameStages {
    std::function<Frame(std::size_t index)> read;
    std::function<void(std::size_t index, Frame& frame)> render;
    std::function<void(std::size_t index, Frame& frame)> write;
};

struct PipelineOutcome {
    std::size_t written = 0;     // frames 0 .. written-1 are written whole
    std::exception_ptr failure;  // the failure of the earliest frame that failed, if any
    std::size_t failedIndex = 0; // that frame
};

// A failure stops the run: the frames before it are still written, none after it is.
PipelineOutcome runPipeline(std::size_t count, const FrameStages& stages);

} // namespace umbrix
