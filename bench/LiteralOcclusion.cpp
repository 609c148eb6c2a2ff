#include "bench/LiteralOcclusion.h"

#include <cmath>

namespace bench {

namespace {

struct Normal {
    float c0, c1, c2;
};

Normal compared(const FloatPixel& record, float filterMethod) {
    if (filterMethod == 0.0f)
        return {record[12], record[11], record[10]};
    return {record[0], record[1], record[2]};
}

float dot(Normal a, Normal b) {
    return (a.c0 * b.c0 + a.c1 * b.c1) + a.c2 * b.c2;
}

float tested(float v, const FloatPixel& A, const FloatPixel& B, const reference::ChunkValues& c) {
    if (!(B[4] > A[4]))
        return v;
    const float D = B[4] - A[4];
    if (c.SmalDepth > D || D > c.DepthThreshold)
        return v;
    const float w = powf(D / (c.DepthThreshold / 10.0f) + 1.0f, -2.0f);
    if (c.FilterMethod == 2.0f)
        return v - c.Amount;
    const Normal a = compared(A, c.FilterMethod);
    const Normal b = compared(B, c.FilterMethod);
    const float La = dot(a, a);
    const float Lb = dot(b, b);
    const float k = dot(a, b) / ((1.0f / (La * La)) * (1.0f / (Lb * Lb)));
    const auto angle = static_cast<float>(static_cast<double>(acosf(k)) * 57.29577951308232);
    return angle > c.NormalsAngleControll ? v - w * c.Amount : v;
}

} // namespace

void literalOcclusionRow(std::int32_t y, PixelAccessor& pre, PixelAccessor& output,
                         const reference::ChunkValues& values, std::int32_t width,
                         std::int32_t height) {
    const std::int32_t r = values.Matrix;
    for (std::int32_t x = 0; x < width; ++x) {
        FloatPixel A;
        pre.MoveTo(x, y);
        pre.ReadPixel(A);
        float v = 1.0f;
        for (std::int32_t i = -r; i < r; ++i)
            for (std::int32_t j = -r; j < r; ++j) {
                const std::int32_t sx = x + i;
                const std::int32_t sy = y + j;
                if (sx < 0 || sx > width - 1 || sy < 0 || sy > height - 1)
                    continue;
                FloatPixel B;
                pre.MoveTo(sx, sy);
                pre.ReadPixel(B);
                v = tested(v, A, B, values);
            }
        FloatPixel record;
        pre.MoveTo(x, y);
        pre.ReadPixel(record);
        record[3] = v;
        output.MoveTo(x, y);
        output.WritePixel(record);
    }
}

} // namespace bench
