#include "process/NormalsPass.h"

#include "process/Vec3.h"

#include <algorithm>
#include <cmath>

namespace {

float depthAt(PixelAccessor& source, FloatPixel& record, std::int32_t x, std::int32_t y) {
    source.MoveTo(x, y);
    source.ReadPixel(record);
    return record[4];
}

} // namespace

void NormalsPass(std::int32_t y, PixelAccessor& source, PixelAccessor& result,
                 const ChunkControls& controls, std::int32_t width, std::int32_t height) {
    const float d = sinf(static_cast<float>(controls.camFOV * 0.017453292519943295) * 0.5f);
    const float s = (d / static_cast<float>(width)) * 2.0f;
    const std::int32_t q = width / height;
    const float f = ((static_cast<float>(q) * d) / static_cast<float>(height)) * 2.0f;
    const float g = static_cast<float>(y) * f;
    const float Q = controls.normalsZ;

    const std::int32_t up = std::max(y - 1, 0);
    const std::int32_t down = std::min(y + 1, height - 1);
    FloatPixel record;
    float h = 0.0f;
    for (std::int32_t x = 0; x < width; ++x) {
        const Vec3 L{h - s, g, depthAt(source, record, std::max(x - 1, 0), y)};
        const Vec3 R{h + s, g, depthAt(source, record, std::min(x + 1, width - 1), y)};
        const Vec3 U{h, g - f, depthAt(source, record, x, up)};
        const Vec3 D{h, g + f, depthAt(source, record, x, down)};
        const Vec3 N = Cross(R - L, D - U);
        const float k = 1.0f / sqrtf((N.y * N.y + N.x * N.x) + N.z * N.z);
        const Vec3 n{N.x * k, N.y * k, N.z * k};
        const float z = n.z > Q ? 1.0f : n.z * (1.0f / Q);

        source.MoveTo(x, y);
        source.ReadPixel(record);
        record[0] = z;
        record[1] = n.y;
        record[2] = n.x;
        result.MoveTo(x, y);
        result.WritePixel(record);
        h = h + s;
    }
}
