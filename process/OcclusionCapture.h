#pragma once

#include "host/PixelAccessor.h"
#include "process/ChunkControls.h"
#include "process/OcclusionSamples.h"

#include <cstdint>

// First run of a render with the occlusion pass, row y: records what the occlusion windows read of
// every pixel's pre-occlusion content, formed from the source row as the normals pass (or the
// zeroed copy) would form it. Nothing is written: the second run writes each pixel once, whole.
void CaptureOcclusionRow(std::int32_t y, PixelAccessor& source, const ChunkControls& controls,
                         std::int32_t width, std::int32_t height, OcclusionSamples& samples);
