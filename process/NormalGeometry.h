#pragma once

#include "process/ChunkSettings.h"
#include "process/Vec3.h"

#include <cmath>
#include <cstdint>

namespace umbrix::process {

// The step sizes and row coordinate of the normals computed for one row.
struct RowGeometry {
    float s; // column step
    float f; // row step
    float g; // row coordinate
    float Q; // Z control
};

inline RowGeometry rowGeometry(const NormalSettings& normals, std::int32_t y, std::int32_t width,
                               std::int32_t height) {
    const float d = normals.halfAngleSine;
    const float s = (d / static_cast<float>(width)) * 2.0f;
    const std::int32_t q = width / height;
    const float f = ((static_cast<float>(q) * d) / static_cast<float>(height)) * 2.0f;
    return {s, f, static_cast<float>(y) * f, normals.zControl};
}

// A pixel's normal as channels 0, 1 and 2 hold it, from its four neighbours' depths; h is the
// pixel's column coordinate.
struct StoredNormal {
    float c0, c1, c2;
};

inline StoredNormal normalFromDepths(const RowGeometry& row, float h, float left, float right,
                                     float above, float below) {
    const Vec3 L{h - row.s, row.g, left};
    const Vec3 R{h + row.s, row.g, right};
    const Vec3 U{h, row.g - row.f, above};
    const Vec3 D{h, row.g + row.f, below};
    const Vec3 N = Cross(R - L, D - U);
    const float k = 1.0f / sqrtf((N.y * N.y + N.x * N.x) + N.z * N.z);
    const Vec3 n{N.x * k, N.y * k, N.z * k};
    return {n.z > row.Q ? 1.0f : n.z * (1.0f / row.Q), n.y, n.x};
}

// The depths the normals of one row are formed from, each `width` floats: the row's own and the
// rows above and below (clamped to the image).
struct DepthRows {
    const float* own;
    const float* above;
    const float* below;
};

// Where the normals of a row go, as channels 0, 1 and 2 hold them.
struct RowNormals {
    float* c0;
    float* c1;
    float* c2;
};

// The column coordinates h of x = 0 .. width - 1: the running sum from 0 in steps of s.
void columnCoordinates(float s, std::int32_t width, float* h);

// normalFromDepths for every pixel of the row, x = 0 .. width - 1, with h from columnCoordinates
// of the row's s, with the same float operations in the same order.
void rowNormals(const RowGeometry& row, const float* h, const DepthRows& depths, std::int32_t width,
                const RowNormals& out);

} // namespace umbrix::process
