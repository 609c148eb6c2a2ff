#pragma once

#include "host/PixelAccessor.h"
#include "process/ChunkControls.h"
#include "process/OcclusionSamples.h"

#include <cstdint>

// First run, row y: with "UseNormals" off, writes the source row with channels 0-2 zeroed; then
// records what the occlusion windows need of the row's pre-occlusion content, as the output holds
// it.
void CaptureOcclusionRow(std::int32_t y, PixelAccessor& source, PixelAccessor& result,
                         const ChunkControls& controls, std::int32_t width,
                         OcclusionSamples& samples);

// Second run, row y: the occlusion value of every pixel of the row, from the recorded samples,
// written to channel 3 of the output.
void OcclusionPass(std::int32_t y, PixelAccessor& result, const ChunkControls& controls,
                   std::int32_t width, std::int32_t height, const OcclusionSamples& samples);
