#pragma once

#include "app/core/Rendered.h"

#include <cstddef>
#include <exception>
#include <functional>

namespace umbrix {

// Frames 0 .. count-1 through three stages at once: while frame N renders on the calling thread,
// frame N+1 is read and frame N-1 written, each on a thread of its own. A stage takes its next
// frame only once the stage after it has taken the one before, so at most one frame is in each
// stage and memory does not grow with the number of frames. Frames are written in order.
// A frame travels as a Rendered: read gives its source, render its result.
struct FrameStages {
    std::function<Rendered(std::size_t index)> read;
    std::function<void(std::size_t index, Rendered& frame)> render;
    std::function<void(std::size_t index, Rendered& frame)> write;
};

// Frames a run may leave out: one whose read failed in a way `skippable` accepts goes to `skip`, on
// the writing thread in its turn among the frames written, and the run goes on. Without them a
// failed read stops the run.
struct FrameSkipping {
    std::function<bool(const std::exception_ptr& failure)> skippable;
    std::function<void(std::size_t index, const std::exception_ptr& failure)> skip;
};

struct PipelineOutcome {
    std::size_t written = 0;     // frames written whole
    std::size_t skipped = 0;     // frames left out; with those written, every frame before the
                                 // failed one, if any
    std::exception_ptr failure;  // the failure of the earliest frame that failed, if any
    std::size_t failedIndex = 0; // that frame
};

// A failure stops the run: the frames before it are still written, none after it is. Throws
// std::system_error, having written nothing, when its threads cannot be started.
PipelineOutcome runPipeline(std::size_t count, const FrameStages& stages,
                            const FrameSkipping& skipping = {});

} // namespace umbrix
