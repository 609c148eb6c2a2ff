#include "process/OcclusionPass.h"

#include <algorithm>
#include <cmath>

namespace {

// The normal components a mode compares, in dot-product order.
void comparedNormal(const FloatPixel& record, NormalsMode mode, float (&normal)[3]) {
    if (mode == NormalsMode::Rendered) {
        normal[0] = record[12];
        normal[1] = record[11];
        normal[2] = record[10];
    } else {
        normal[0] = record[0];
        normal[1] = record[1];
        normal[2] = record[2];
    }
}

struct Window {
    std::int32_t first, last; // offsets that land inside the image, inclusive
};

// Offsets -r .. r-1 from `centre` that stay inside [0, size); empty when r < 1.
Window windowAt(std::int32_t centre, std::int32_t radius, std::int32_t size) {
    if (radius < 1)
        return {0, -1};
    const std::int64_t first = std::max<std::int64_t>(-std::int64_t{radius}, -std::int64_t{centre});
    const std::int64_t last =
        std::min<std::int64_t>(std::int64_t{radius} - 1, std::int64_t{size} - 1 - centre);
    return {static_cast<std::int32_t>(first), static_cast<std::int32_t>(last)};
}

} // namespace

void CaptureOcclusionRow(std::int32_t y, PixelAccessor& source, PixelAccessor& result,
                         const ChunkControls& controls, std::int32_t width,
                         OcclusionSamples& samples) {
    const NormalsMode mode = normalsMode(controls.filterMethod);
    float* depth = samples.depth(y);
    float* n0 = samples.normal(0, y);
    float* n1 = samples.normal(1, y);
    float* n2 = samples.normal(2, y);
    float* inverse = samples.inverse(y);
    FloatPixel record;
    for (std::int32_t x = 0; x < width; ++x) {
        if (controls.useNormals == 0.0f) {
            source.MoveTo(x, y);
            source.ReadPixel(record);
            record[0] = 0.0f;
            record[1] = 0.0f;
            record[2] = 0.0f;
            result.MoveTo(x, y);
            result.WritePixel(record);
        }
        result.MoveTo(x, y);
        result.ReadPixel(record);
        depth[x] = record[4];
        float normal[3];
        comparedNormal(record, mode, normal);
        const float length =
            (normal[0] * normal[0] + normal[1] * normal[1]) + normal[2] * normal[2];
        n0[x] = normal[0];
        n1[x] = normal[1];
        n2[x] = normal[2];
        inverse[x] = 1.0f / (length * length);
    }
}

void OcclusionPass(std::int32_t y, PixelAccessor& result, const ChunkControls& controls,
                   std::int32_t width, std::int32_t height, const OcclusionSamples& samples) {
    const NormalsMode mode = normalsMode(controls.filterMethod);
    const float smallDepth = controls.smallDepth;
    const float threshold = controls.depthThreshold;
    const float scale = threshold / 10.0f;
    const float amount = controls.amount;
    const float limit = controls.normalsAngle;
    const Window rows = windowAt(y, controls.matrix, height);
    FloatPixel record;
    for (std::int32_t x = 0; x < width; ++x) {
        const float centre = samples.depth(y)[x];
        const float a0 = samples.normal(0, y)[x];
        const float a1 = samples.normal(1, y)[x];
        const float a2 = samples.normal(2, y)[x];
        const float aInverse = samples.inverse(y)[x];
        float v = 1.0f;
        const Window columns = windowAt(x, controls.matrix, width);
        for (std::int32_t i = columns.first; i <= columns.last; ++i) {
            const std::int32_t sx = x + i;
            for (std::int32_t j = rows.first; j <= rows.last; ++j) {
                const std::int32_t sy = y + j;
                const float neighbour = samples.depth(sy)[sx];
                if (!(neighbour > centre))
                    continue;
                const float D = neighbour - centre;
                if (smallDepth > D || D > threshold)
                    continue;
                if (mode == NormalsMode::Disabled) {
                    v = v - amount;
                    continue;
                }
                const float w = powf(D / scale + 1.0f, -2.0f);
                const float b0 = samples.normal(0, sy)[sx];
                const float b1 = samples.normal(1, sy)[sx];
                const float b2 = samples.normal(2, sy)[sx];
                const float dot = (a0 * b0 + a1 * b1) + a2 * b2;
                const float k = dot / (aInverse * samples.inverse(sy)[sx]);
                const auto angle =
                    static_cast<float>(static_cast<double>(acosf(k)) * 57.29577951308232);
                if (angle > limit)
                    v = v - w * amount;
            }
        }
        result.MoveTo(x, y);
        result.ReadPixel(record);
        record[3] = v;
        result.WritePixel(record);
    }
}
