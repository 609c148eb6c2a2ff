#pragma once

namespace umbrix::process {

struct Vec3 {
    float x, y, z;
};

inline Vec3 operator-(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

// The y component is negative zero minus the bracket, so a zero bracket gives -0.0.
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, -0.0f - (a.x * b.z - a.z * b.x), a.x * b.y - a.y * b.x};
}

} // namespace umbrix::process
