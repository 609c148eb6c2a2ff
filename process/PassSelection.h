#pragma once

#include <atomic>

namespace umbrix::process {

// Which passes the chunks of a render run. `capture` marks the first run: it writes the normals of
// a render without occlusion, or records what the occlusion windows read; the occlusion pass runs
// in the second.
struct PassSelection {
    bool normals = false;
    bool occlusion = false;
    std::atomic<bool> occlusionStarted{false};
    bool capture = false;
};

} // namespace umbrix::process
