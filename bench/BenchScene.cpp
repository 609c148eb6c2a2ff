#include "bench/BenchScene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace bench {

namespace {

struct Vec {
    float x, y, z;
};

Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec operator*(Vec a, float k) {
    return {a.x * k, a.y * k, a.z * k};
}
float dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec unit(Vec a) {
    return a * (1.0f / std::sqrt(dot(a, a)));
}

struct Hit {
    float distance = std::numeric_limits<float>::infinity();
    Vec normal{0.0f, 1.0f, 0.0f};
    float shade = 0.5f;
};

struct Sphere {
    Vec centre;
    float radius;
    float shade;
};

// Axis-aligned boxes resting on the ground.
struct Box {
    Vec low, high;
    float shade;
};

constexpr std::array<Sphere, 5> Spheres = {{
    {{-1.6f, 0.8f, 6.5f}, 0.8f, 0.8f},
    {{0.6f, 0.45f, 5.2f}, 0.45f, 0.7f},
    {{2.4f, 1.1f, 9.0f}, 1.1f, 0.6f},
    {{-0.4f, 0.3f, 3.9f}, 0.3f, 0.9f},
    {{-3.5f, 1.3f, 11.5f}, 1.3f, 0.65f},
}};

constexpr std::array<Box, 3> Boxes = {{
    {{-3.4f, 0.0f, 8.0f}, {-2.2f, 1.2f, 9.2f}, 0.75f},
    {{0.3f, 0.0f, 7.0f}, {1.5f, 0.8f, 7.8f}, 0.55f},
    {{3.2f, 0.0f, 11.5f}, {4.2f, 2.8f, 12.5f}, 0.85f},
}};

constexpr float WallDistance = 16.0f;

void hitSphere(Vec origin, Vec direction, const Sphere& s, Hit& hit) {
    const Vec offset = origin - s.centre;
    const float b = dot(offset, direction);
    const float disc = b * b - (dot(offset, offset) - s.radius * s.radius);
    if (disc < 0.0f)
        return;
    const float t = -b - std::sqrt(disc);
    if (t > 1e-4f && t < hit.distance)
        hit = {t, unit(origin + direction * t - s.centre), s.shade};
}

void hitBox(Vec origin, Vec direction, const Box& box, Hit& hit) {
    const std::array<float, 3> o = {origin.x, origin.y, origin.z};
    const std::array<float, 3> d = {direction.x, direction.y, direction.z};
    const std::array<float, 3> lo = {box.low.x, box.low.y, box.low.z};
    const std::array<float, 3> hi = {box.high.x, box.high.y, box.high.z};
    float enter = -std::numeric_limits<float>::infinity();
    float leave = std::numeric_limits<float>::infinity();
    std::size_t axis = 0;
    float side = 1.0f;
    for (std::size_t k = 0; k < 3; ++k) {
        const float t1 = (lo[k] - o[k]) / d[k];
        const float t2 = (hi[k] - o[k]) / d[k];
        if (std::min(t1, t2) > enter) {
            enter = std::min(t1, t2);
            axis = k;
            side = t1 < t2 ? -1.0f : 1.0f;
        }
        leave = std::min(leave, std::max(t1, t2));
    }
    if (enter > leave || enter <= 1e-4f || enter >= hit.distance)
        return;
    std::array<float, 3> normal = {0.0f, 0.0f, 0.0f};
    normal[axis] = side;
    hit = {enter, {normal[0], normal[1], normal[2]}, box.shade};
}

Hit trace(Vec origin, Vec direction) {
    Hit hit;
    if (direction.y < 0.0f)
        hit = {-origin.y / direction.y, {0.0f, 1.0f, 0.0f}, 0.5f};
    if (direction.z > 0.0f) {
        const float t = (WallDistance - origin.z) / direction.z;
        if (t < hit.distance)
            hit = {t, {0.0f, 0.0f, -1.0f}, 0.6f};
    }
    for (const Sphere& s : Spheres)
        hitSphere(origin, direction, s, hit);
    for (const Box& b : Boxes)
        hitBox(origin, direction, b, hit);
    return hit;
}

// Looks slightly down the +z axis from above the ground; camera space has z toward the viewer.
struct Camera {
    Vec position{0.0f, 1.6f, 0.0f};
    Vec right{1.0f, 0.0f, 0.0f};
    Vec up;
    Vec forward;
    float tanHalfFov = std::tan(0.3926991f); // 45 degrees

    Camera() {
        const float pitch = 0.15f;
        forward = {0.0f, -std::sin(pitch), std::cos(pitch)};
        up = {0.0f, std::cos(pitch), std::sin(pitch)};
    }
    Vec toCamera(Vec v) const { return {dot(v, right), dot(v, up), -dot(v, forward)}; }
};

void shadePixel(Image& image, int x, int y, const Camera& camera) {
    const float u =
        (2.0f * (static_cast<float>(x) + 0.5f) / static_cast<float>(image.Width) - 1.0f) *
        camera.tanHalfFov;
    const float v =
        (1.0f - 2.0f * (static_cast<float>(y) + 0.5f) / static_cast<float>(image.Height)) *
        camera.tanHalfFov * static_cast<float>(image.Height) / static_cast<float>(image.Width);
    const Vec direction = unit(camera.forward + camera.right * u + camera.up * v);
    const Hit hit = trace(camera.position, direction);
    const Vec light = unit({-0.5f, 0.9f, -0.45f});
    const float lit = hit.shade * (0.25f + 0.75f * std::max(0.0f, dot(hit.normal, light)));
    const Vec n = camera.toCamera(hit.normal);
    minihost::sample(image, x, y, 0) = lit;
    minihost::sample(image, x, y, 1) = lit * 0.95f;
    minihost::sample(image, x, y, 2) = lit * 0.9f;
    minihost::sample(image, x, y, 3) = 1.0f;
    minihost::sample(image, x, y, 4) = hit.distance * dot(direction, camera.forward);
    minihost::sample(image, x, y, 10) = n.x;
    minihost::sample(image, x, y, 11) = n.y;
    minihost::sample(image, x, y, 12) = n.z;
}

} // namespace

minihost::ImagePtr benchScene(int width, int height) {
    auto image = minihost::makeImage(width, height, {4, 10, 11, 12});
    const Camera camera;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            shadePixel(*image, x, y, camera);
    return image;
}

} // namespace bench
