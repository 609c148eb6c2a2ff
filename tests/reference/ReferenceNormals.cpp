#include "tests/reference/ReferencePasses.h"

#include <cmath>

namespace reference {

namespace {

struct Vec3 {
    float x, y, z;
};

Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

// The y component starts from negative zero so that a zero bracket yields -0.0.
Vec3 Cross(Vec3 a, Vec3 b) {
    const float x = a.y * b.z - a.z * b.y;
    const float y = -0.0f - (a.x * b.z - a.z * b.x);
    const float z = a.x * b.y - a.y * b.x;
    return {x, y, z};
}

std::int32_t clamped(std::int32_t value, std::int32_t last) {
    if (value < 0)
        return 0;
    return value > last ? last : value;
}

// Channel 4 of the source pixel at (x, y), the position clamped to the image.
float depthNear(PixelAccessor& source, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height) {
    FloatPixel record;
    source.MoveTo(clamped(x, width - 1), clamped(y, height - 1));
    source.ReadPixel(record);
    return record[4];
}

} // namespace

void normalsRow(std::int32_t y, PixelAccessor& source, PixelAccessor& output,
                const ChunkValues& values, std::int32_t width, std::int32_t height) {
    const float d = sinf(static_cast<float>(values.CamFOV * 0.017453292519943295) * 0.5f);
    const float s = (d / static_cast<float>(width)) * 2.0f;
    const std::int32_t q = width / height;
    const float f = ((static_cast<float>(q) * d) / static_cast<float>(height)) * 2.0f;
    const float g = static_cast<float>(y) * f;
    const float Q = values.NormalsZControll;

    float h = 0.0f;
    for (std::int32_t x = 0; x < width; ++x) {
        // Neighbours outside the image are the pixel itself, still placed one step away.
        const Vec3 L{h - s, g, depthNear(source, x - 1, y, width, height)};
        const Vec3 R{h + s, g, depthNear(source, x + 1, y, width, height)};
        const Vec3 U{h, g - f, depthNear(source, x, y - 1, width, height)};
        const Vec3 D{h, g + f, depthNear(source, x, y + 1, width, height)};
        const Vec3 N = Cross(R - L, D - U);

        const float k = 1.0f / sqrtf((N.y * N.y + N.x * N.x) + N.z * N.z);
        const Vec3 n{N.x * k, N.y * k, N.z * k};
        float zPrime;
        if (n.z > Q)
            zPrime = 1.0f;
        else
            zPrime = n.z * (1.0f / Q);

        FloatPixel P;
        source.MoveTo(x, y);
        source.ReadPixel(P);
        P[0] = zPrime;
        P[1] = n.y;
        P[2] = n.x;
        output.MoveTo(x, y);
        output.WritePixel(P);
        h = h + s;
    }
}

void zeroedNormalsRow(std::int32_t y, PixelAccessor& source, PixelAccessor& output,
                      std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) {
        FloatPixel record;
        source.MoveTo(x, y);
        source.ReadPixel(record);
        record[0] = 0.0f;
        record[1] = 0.0f;
        record[2] = 0.0f;
        output.MoveTo(x, y);
        output.WritePixel(record);
    }
}

} // namespace reference
