#pragma once

namespace umbrix {

// Makes OpenEXR decode and encode its blocks on the host's worker pool, the one the tool's chunks
// run on, so that --threads bounds every thread that works. Call once the pool's size is set.
void runCodecsOnHostPool();

} // namespace umbrix
