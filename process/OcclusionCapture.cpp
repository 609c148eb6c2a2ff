#include "process/OcclusionCapture.h"

#include "process/InverseLengths.h"
#include "process/NormalGeometry.h"

#include <algorithm>
#include <vector>

namespace {

void readDepths(PixelAccessor& source, std::int32_t y, std::int32_t width, float* depth) {
    FloatPixel record;
    for (std::int32_t x = 0; x < width; ++x) {
        source.MoveTo(x, y);
        source.ReadPixel(record);
        depth[x] = record[4];
    }
}

// "Calculated Normals" with the normals pass on compares the calculated normals, formed from the
// depths of the row and of the rows above and below, each source pixel read once.
void captureCalculated(std::int32_t y, PixelAccessor& source, const ChunkControls& controls,
                       std::int32_t width, std::int32_t height, OcclusionSamples& samples) {
    const auto size = static_cast<std::size_t>(width);
    std::vector<float> scratch(2 * size);
    float* own = samples.depth(y);
    float* above = scratch.data();
    float* below = above + size;
    readDepths(source, y, width, own);
    const std::int32_t up = std::max(y - 1, 0);
    const std::int32_t down = std::min(y + 1, height - 1);
    if (up != y)
        readDepths(source, up, width, above);
    if (down != y)
        readDepths(source, down, width, below);
    const RowGeometry row = rowGeometry(controls, y, width, height);
    rowNormals(row, {own, up != y ? above : own, down != y ? below : own}, width,
               {samples.normal(0, y), samples.normal(1, y), samples.normal(2, y)});
}

} // namespace

// The pre-occlusion content of a pixel is the source pixel with channels 0-2 replaced, and the
// output image stores the same channels as the source, so reading it back from the output would
// give the source's values in every other channel, depth and supplied normal included.
void CaptureOcclusionRow(std::int32_t y, PixelAccessor& source, const ChunkControls& controls,
                         std::int32_t width, std::int32_t height, OcclusionSamples& samples) {
    const NormalsMode mode = normalsMode(controls.filterMethod);
    if (mode == NormalsMode::Disabled) {
        // Compares no normals.
        readDepths(source, y, width, samples.depth(y));
        return;
    }
    if (mode == NormalsMode::Calculated && controls.useNormals != 0.0f) {
        captureCalculated(y, source, controls, width, height, samples);
    } else {
        float* depth = samples.depth(y);
        float* n0 = samples.normal(0, y);
        float* n1 = samples.normal(1, y);
        float* n2 = samples.normal(2, y);
        const bool rendered = mode == NormalsMode::Rendered;
        FloatPixel record;
        for (std::int32_t x = 0; x < width; ++x) {
            source.MoveTo(x, y);
            source.ReadPixel(record);
            depth[x] = record[4];
            // "Calculated Normals" with the normals pass off compares the zeroed channels 0-2.
            n0[x] = rendered ? record[12] : 0.0f;
            n1[x] = rendered ? record[11] : 0.0f;
            n2[x] = rendered ? record[10] : 0.0f;
        }
    }
    inverseSquaredLengths(samples.normal(0, y), samples.normal(1, y), samples.normal(2, y), width,
                          samples.inverse(y));
}
