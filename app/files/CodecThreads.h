#pragma once

#include <functional>

namespace umbrix {

// Makes OpenEXR decode and encode its blocks on the host's worker pool, the one the tool's chunks
// run on, so that --threads bounds every thread that works. Call once the pool's size is set.
void runCodecsOnHostPool();

// Runs `job` on the host's worker pool, or here when the pool cannot take it.
void postToHostPool(std::function<void()> job);

// Runs task(0) … task(count - 1) on the host's worker pool and returns once all have run,
// rethrowing the first exception any of them threw. A task the pool cannot take runs here. Call
// from outside the pool: this thread only waits.
void runOnHostPool(int count, const std::function<void(int)>& task);

} // namespace umbrix
