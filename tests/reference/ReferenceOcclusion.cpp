#include "tests/reference/ReferencePasses.h"
#include "tests/reference/ReferenceRender.h"

#include <algorithm>
#include <cmath>

namespace reference {

namespace {

// The compared normal of a record in the order the dot product takes its components.
struct Normal {
    float c0, c1, c2;
};

Normal comparedNormal(const FloatPixel& record, float filterMethod) {
    if (filterMethod == 0.0f)
        return {record[12], record[11], record[10]};
    return {record[0], record[1], record[2]};
}

float dot(Normal a, Normal b) {
    return (a.c0 * b.c0 + a.c1 * b.c1) + a.c2 * b.c2;
}

// v after neighbour B of centre A has been tested.
float tested(float v, const FloatPixel& A, const FloatPixel& B, const ChunkValues& c) {
    if (!(B[4] > A[4]))
        return v;
    const float D = B[4] - A[4];
    if (c.SmalDepth > D || D > c.DepthThreshold)
        return v;
    const float w = powf(D / (c.DepthThreshold / 10.0f) + 1.0f, -2.0f);
    if (c.FilterMethod == 2.0f)
        return v - c.Amount;

    const float angle = occlusionAngle(A, B, c.FilterMethod);
    if (angle > c.NormalsAngleControll)
        return v - w * c.Amount;
    return v;
}

// Offsets -r .. r-1 cut to -size .. size: beyond that every position lies outside the image for
// any centre, so a huge radius costs nothing and skips nothing that could count.
struct Offsets {
    std::int64_t first, last;
};

Offsets offsets(std::int32_t r, std::int32_t size) {
    return {std::max<std::int64_t>(-std::int64_t{r}, -std::int64_t{size}),
            std::min<std::int64_t>(std::int64_t{r} - 1, size)};
}

bool inside(std::int64_t value, std::int32_t size) {
    return 0 <= value && value <= std::int64_t{size} - 1;
}

} // namespace

float occlusionAngle(const FloatPixel& A, const FloatPixel& B, float filterMethod) {
    const Normal a = comparedNormal(A, filterMethod);
    const Normal b = comparedNormal(B, filterMethod);
    const float d = dot(a, b);
    const float La = dot(a, a);
    const float Lb = dot(b, b);
    const float k = d / ((1.0f / (La * La)) * (1.0f / (Lb * Lb)));
    return static_cast<float>(static_cast<double>(acosf(k)) * 57.29577951308232);
}

void occlusionRow(std::int32_t y, PixelAccessor& pre, PixelAccessor& output,
                  const ChunkValues& values, std::int32_t width, std::int32_t height) {
    const std::int32_t r = values.Matrix;
    const Offsets columns = offsets(r, width);
    const Offsets rows = offsets(r, height);
    for (std::int32_t x = 0; x < width; ++x) {
        FloatPixel A;
        pre.MoveTo(x, y);
        pre.ReadPixel(A);
        float v = 1.0f;
        if (r >= 1) {
            for (std::int64_t i = columns.first; i <= columns.last; ++i)
                for (std::int64_t j = rows.first; j <= rows.last; ++j) {
                    const std::int64_t sx = x + i;
                    const std::int64_t sy = y + j;
                    if (!inside(sx, width) || !inside(sy, height))
                        continue;
                    FloatPixel B;
                    pre.MoveTo(static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy));
                    pre.ReadPixel(B);
                    v = tested(v, A, B, values);
                }
        }
        FloatPixel record;
        pre.MoveTo(x, y);
        pre.ReadPixel(record);
        record[3] = v;
        output.MoveTo(x, y);
        output.WritePixel(record);
    }
}

} // namespace reference
