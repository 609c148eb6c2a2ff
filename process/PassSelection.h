#pragma once

#include <atomic>

// Which passes the chunks of a render run. `capture` marks the first run, which writes every row's
// pre-occlusion content and records what the occlusion windows read; the windows run in the second.
struct PassSelection {
    bool normals = false;
    bool occlusion = false;
    std::atomic<bool> occlusionStarted{false};
    bool capture = false;
};
