#include "process/OcclusionCapture.h"

#include "contract/Controls.h"
#include "process/InverseLengths.h"
#include "process/NormalGeometry.h"

#include <algorithm>
#include <vector>

namespace umbrix::process {

namespace {

void readDepths(PixelAccessor& source, std::int32_t y, std::int32_t width, float* depth) {
    FloatPixel record;
    for (std::int32_t x = 0; x < width; ++x) {
        source.MoveTo(x, y);
        source.ReadPixel(record);
        depth[x] = record[DepthChannel];
    }
}

} // namespace

// The pre-occlusion content of a pixel is the source pixel with channels 0-2 replaced, and the
// output image stores the same channels as the source, so reading it back from the output would
// give the source's values in every other channel, depth and supplied normal included.
void captureOcclusionRow(std::int32_t y, PixelAccessor& source, const ChunkSettings& settings,
                         std::int32_t width, OcclusionSamples& samples) {
    const ComparedNormals compared = settings.windows.compared;
    // "disabled" compares no normals; the calculated normals need the rows above and below, so
    // the second run forms them from the recorded depths (formCalculatedNormals).
    if (compared == ComparedNormals::None || compared == ComparedNormals::Calculated) {
        readDepths(source, y, width, samples.depth(y));
        return;
    }
    float* depth = samples.depth(y);
    float* n0 = samples.normal(0, y);
    float* n1 = samples.normal(1, y);
    float* n2 = samples.normal(2, y);
    const bool rendered = compared == ComparedNormals::Rendered;
    FloatPixel record;
    for (std::int32_t x = 0; x < width; ++x) {
        source.MoveTo(x, y);
        source.ReadPixel(record);
        depth[x] = record[DepthChannel];
        n0[x] = rendered ? record[SuppliedNormalZ] : 0.0f;
        n1[x] = rendered ? record[SuppliedNormalY] : 0.0f;
        n2[x] = rendered ? record[SuppliedNormalX] : 0.0f;
    }
    inverseSquaredLengths(samples.normal(0, y), samples.normal(1, y), samples.normal(2, y), width,
                          samples.inverse(y));
}

void calculatedNormals(std::int32_t y, const NormalSettings& normals, std::int32_t width,
                       std::int32_t height, OcclusionSamples& samples, const RowNormals& out) {
    const RowGeometry row = rowGeometry(normals, y, width, height);
    std::vector<float> scratch;
    const float* h = samples.columnCoordinates(row.s, scratch);
    rowNormals(row, h,
               {samples.depth(y), samples.depth(std::max(y - 1, 0)),
                samples.depth(std::min(y + 1, height - 1))},
               width, out);
}

void formCalculatedNormals(std::int32_t y, const NormalSettings& normals, std::int32_t width,
                           std::int32_t height, OcclusionSamples& samples) {
    calculatedNormals(y, normals, width, height, samples,
                      {samples.normal(0, y), samples.normal(1, y), samples.normal(2, y)});
    inverseSquaredLengths(samples.normal(0, y), samples.normal(1, y), samples.normal(2, y), width,
                          samples.inverse(y));
}

} // namespace umbrix::process
