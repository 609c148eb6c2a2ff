#pragma once

#include "process/ChunkControls.h"
#include "process/WindowSettings.h"

namespace umbrix::process {

// What the calculated normals are formed with.
struct NormalSettings {
    float halfAngleSine = 0.0f; // sin("CamFOV" / 2), which spaces the pixels
    float zControl = 0.0f;      // "NormalsZControll"
};

// What one chunk's control values mean to the passes, worked out once per chunk.
struct ChunkSettings {
    // "UseNormals": channels 0-2 of the output hold the calculated normal, otherwise zeros.
    bool useNormals = false;
    NormalSettings normals;
    WindowSettings windows;
};

ChunkSettings chunkSettings(const ChunkControls& controls);

} // namespace umbrix::process
