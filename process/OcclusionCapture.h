#pragma once

#include "host/PixelAccessor.h"
#include "process/ChunkSettings.h"
#include "process/NormalGeometry.h"
#include "process/OcclusionSamples.h"

#include <cstdint>

namespace umbrix::process {

// First run of a render with the occlusion pass, row y: records what the occlusion windows read of
// every pixel's pre-occlusion content, formed from the source row as the normals pass (or the
// zeroed copy) would form it. Nothing is written: the second run writes each pixel once, whole.
void captureOcclusionRow(std::int32_t y, PixelAccessor& source, const ChunkSettings& settings,
                         std::int32_t width, OcclusionSamples& samples);

// Row y's normals as the normals pass forms them, from the recorded depths of rows y - 1, y and
// y + 1, into `out`.
void calculatedNormals(std::int32_t y, const NormalSettings& normals, std::int32_t width,
                       std::int32_t height, OcclusionSamples& samples, const RowNormals& out);

// The calculated normals compared with "UseNormals" on are recorded only as depths in the first
// run; this forms row y's normals in the samples, with their 1 / (L x L) terms. Every chunk of a
// render reads the same control values, so whichever chunk forms a row forms what the row's own
// chunk would.
void formCalculatedNormals(std::int32_t y, const NormalSettings& normals, std::int32_t width,
                           std::int32_t height, OcclusionSamples& samples);

} // namespace umbrix::process
