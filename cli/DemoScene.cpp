#include "cli/DemoScene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace umbrix {

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
Vec normalised(Vec a) {
    return a * (1.0f / std::sqrt(dot(a, a)));
}

struct Ray {
    Vec origin, direction;
};

struct Hit {
    float distance = std::numeric_limits<float>::infinity();
    Vec normal{0, 1, 0};
    Vec colour{0, 0, 0};
};

struct Sphere {
    Vec centre;
    float radius;
    Vec colour;
};

// A box standing on the ground, turned about the vertical axis.
struct Box {
    Vec centre;
    Vec half;
    float turn; // radians
    Vec colour;
};

constexpr float GroundLevel = 0.0f;
constexpr float WallDistance = 15.0f;
// The tool's calculated normals take neighbouring pixels to lie one column step apart as seen at a
// distance of one depth unit, so the scene's depth is written in units of 5 m: the objects then
// stand about one unit away and their calculated normals come out close to the true ones.
constexpr float DepthUnit = 5.0f;

const std::array<Sphere, 4> Spheres = {{
    {{-1.45f, 0.75f, 6.2f}, 0.75f, {0.85f, 0.25f, 0.2f}},
    {{0.55f, 0.5f, 5.0f}, 0.5f, {0.95f, 0.75f, 0.2f}},
    {{2.1f, 0.9f, 8.8f}, 0.9f, {0.25f, 0.55f, 0.9f}},
    {{-0.35f, 0.32f, 3.7f}, 0.32f, {0.3f, 0.8f, 0.4f}},
}};

const std::array<Box, 3> Boxes = {{
    {{-3.1f, 0.65f, 9.4f}, {0.65f, 0.65f, 0.65f}, 0.5f, {0.75f, 0.7f, 0.65f}},
    {{0.85f, 0.4f, 7.4f}, {0.55f, 0.4f, 0.4f}, -0.35f, {0.6f, 0.35f, 0.75f}},
    {{4.1f, 1.0f, 12.5f}, {0.45f, 1.0f, 0.45f}, 0.2f, {0.8f, 0.8f, 0.8f}},
}};

void hitSphere(const Ray& ray, const Sphere& s, Hit& hit) {
    const Vec offset = ray.origin - s.centre;
    const float b = dot(offset, ray.direction);
    const float c = dot(offset, offset) - s.radius * s.radius;
    const float disc = b * b - c;
    if (disc < 0.0f)
        return;
    const float t = -b - std::sqrt(disc);
    if (t > 1e-4f && t < hit.distance) {
        const Vec at = ray.origin + ray.direction * t;
        hit = {t, normalised(at - s.centre), s.colour};
    }
}

Vec turned(Vec v, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
}

void hitBox(const Ray& ray, const Box& box, Hit& hit) {
    // In the box's own frame it is axis-aligned: intersect the three slabs.
    const Vec origin = turned(ray.origin - box.centre, -box.turn);
    const Vec direction = turned(ray.direction, -box.turn);
    const std::array<float, 3> o = {origin.x, origin.y, origin.z};
    const std::array<float, 3> d = {direction.x, direction.y, direction.z};
    const std::array<float, 3> h = {box.half.x, box.half.y, box.half.z};
    float enter = -std::numeric_limits<float>::infinity();
    float leave = std::numeric_limits<float>::infinity();
    int axis = 0;
    float side = 1.0f;
    for (int k = 0; k < 3; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const float t1 = (-h[i] - o[i]) / d[i];
        const float t2 = (h[i] - o[i]) / d[i];
        const float near = std::min(t1, t2), far = std::max(t1, t2);
        if (near > enter) {
            enter = near;
            axis = k;
            side = t1 < t2 ? -1.0f : 1.0f;
        }
        leave = std::min(leave, far);
    }
    if (enter > leave || enter <= 1e-4f || enter >= hit.distance)
        return;
    std::array<float, 3> normal = {0.0f, 0.0f, 0.0f};
    normal[static_cast<std::size_t>(axis)] = side;
    hit = {enter, turned({normal[0], normal[1], normal[2]}, box.turn), box.colour};
}

void hitPlanes(const Ray& ray, Hit& hit) {
    if (ray.direction.y < 0.0f) {
        const float t = (GroundLevel - ray.origin.y) / ray.direction.y;
        if (t > 1e-4f && t < hit.distance) {
            const Vec at = ray.origin + ray.direction * t;
            const bool light =
                (static_cast<int>(std::floor(at.x)) + static_cast<int>(std::floor(at.z))) % 2 == 0;
            hit = {t, {0, 1, 0}, light ? Vec{0.62f, 0.62f, 0.6f} : Vec{0.5f, 0.5f, 0.48f}};
        }
    }
    if (ray.direction.z > 0.0f) {
        const float t = (WallDistance - ray.origin.z) / ray.direction.z;
        if (t > 1e-4f && t < hit.distance)
            hit = {t, {0, 0, -1}, {0.55f, 0.6f, 0.68f}};
    }
}

Hit trace(const Ray& ray) {
    Hit hit;
    hitPlanes(ray, hit);
    for (const Sphere& s : Spheres)
        hitSphere(ray, s, hit);
    for (const Box& b : Boxes)
        hitBox(ray, b, hit);
    return hit;
}

// The camera stands above the ground and looks slightly down the +z axis.
struct Camera {
    Vec position{0.0f, 2.6f, -2.5f};
    Vec right{1, 0, 0}, up{0, 1, 0}, forward{0, 0, 1};
    float tanHalfFov = std::tan(45.0f * 0.5f * 3.14159265f / 180.0f);

    Camera() {
        const float pitch = 0.24f;
        forward = normalised({0.0f, -std::sin(pitch), std::cos(pitch)});
        up = normalised({0.0f, std::cos(pitch), std::sin(pitch)});
    }
    Vec toCamera(Vec v) const { return {dot(v, right), dot(v, up), -dot(v, forward)}; }
};

const Vec LightDirection = normalised({-0.5f, 0.9f, -0.45f});

float lighting(Vec at, Vec normal) {
    const float facing = std::max(0.0f, dot(normal, LightDirection));
    const Hit blocker = trace({at + normal * 1e-3f, LightDirection});
    const float lit = std::isinf(blocker.distance) ? 1.0f : 0.0f;
    return 0.25f + 0.75f * facing * lit;
}

} // namespace

PlainImage demoScene(int width, int height) {
    PlainImage image;
    image.windows = {0, 0, width, height, 0, 0, width, height};
    image.channels = {"R",   "G",   "B",         "A",         "Z",        "N.X",
                      "N.Y", "N.Z", "diffuse.R", "diffuse.G", "diffuse.B"};
    const std::size_t channels = image.channels.size();
    image.pixels = std::make_unique<float[]>(static_cast<std::size_t>(width) *
                                             static_cast<std::size_t>(height) * channels);
    const Camera camera;
    const float aspect = static_cast<float>(height) / static_cast<float>(width);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float u =
                (2.0f * (static_cast<float>(x) + 0.5f) / static_cast<float>(width) - 1.0f) *
                camera.tanHalfFov;
            const float v =
                (1.0f - 2.0f * (static_cast<float>(y) + 0.5f) / static_cast<float>(height)) *
                camera.tanHalfFov * aspect;
            const Vec direction = normalised(camera.forward + camera.right * u + camera.up * v);
            const Hit hit = trace({camera.position, direction});
            const Vec at = camera.position + direction * hit.distance;
            const Vec lit = hit.colour * lighting(at, hit.normal);
            const Vec n = camera.toCamera(hit.normal);
            const float depth = hit.distance * dot(direction, camera.forward) / DepthUnit;
            float* pixel =
                &image.pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(x)) *
                              channels];
            const std::array<float, 11> values = {lit.x,        lit.y,        lit.z,       1.0f,
                                                  depth,        n.x,          n.y,         n.z,
                                                  hit.colour.x, hit.colour.y, hit.colour.z};
            std::copy(values.begin(), values.end(), pixel);
        }
    return image;
}

} // namespace umbrix
