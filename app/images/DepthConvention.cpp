#include "app/images/DepthConvention.h"

#include "app/Failure.h"
#include "app/Text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fmt/format.h>
#include <optional>

namespace umbrix {

namespace {

using Kind = DepthConvention::Kind;

struct KindName {
    std::string_view name;
    Kind kind;
    bool range; // takes :NEAR:FAR
};
constexpr std::array<KindName, 5> Kinds = {
    {{"z", Kind::Z, false},
     {"inverse", Kind::Inverse, false},
     {"distance", Kind::Distance, false},
     {"normalized", Kind::Normalized, true},
     {"normalized-inverted", Kind::NormalizedInverted, true}}};

constexpr std::string_view Expected = "expected z, inverse, distance, normalized:NEAR:FAR or "
                                      "normalized-inverted:NEAR:FAR";

std::optional<float> finiteNumber(std::string_view text) {
    text = trimmed(text);
    float value = 0.0f;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

float displayCentre(int first, int size) {
    return static_cast<float>(first) + static_cast<float>(size) * 0.5f;
}

} // namespace

DepthConvention parseDepthConvention(std::string_view text) {
    const std::string_view name = text.substr(0, text.find(':'));
    for (const KindName& kind : Kinds) {
        if (name != kind.name)
            continue;
        if (!kind.range) {
            if (name.size() != text.size())
                throw UsageError(
                    fmt::format("--depth {}: {} takes no range", excerpt(text), kind.name));
            return {kind.kind, 0.0f, 0.0f};
        }
        const std::string_view range =
            name.size() < text.size() ? text.substr(name.size() + 1) : std::string_view();
        const auto colon = range.find(':');
        const std::optional<float> nearDepth =
            colon == std::string_view::npos ? std::nullopt : finiteNumber(range.substr(0, colon));
        const std::optional<float> farDepth =
            colon == std::string_view::npos ? std::nullopt : finiteNumber(range.substr(colon + 1));
        if (!nearDepth || !farDepth)
            throw UsageError(fmt::format("--depth {}: expected {}:NEAR:FAR with NEAR and FAR "
                                         "finite numbers, the scene depths 0 and 1 stand for",
                                         excerpt(text), kind.name));
        if (!(*nearDepth < *farDepth))
            throw UsageError(fmt::format("--depth {}: NEAR must be less than FAR", excerpt(text)));
        return {kind.kind, *nearDepth, *farDepth};
    }
    throw UsageError(fmt::format("--depth {}: {}", excerpt(text), Expected));
}

std::string depthConventionText(const DepthConvention& convention) {
    for (const KindName& kind : Kinds)
        if (kind.kind == convention.kind)
            return kind.range ? fmt::format("{}:{}:{}", kind.name, convention.nearDepth,
                                            convention.farDepth)
                              : std::string(kind.name);
    return {};
}

RayCamera fovCamera(const Windows& windows, double degrees) {
    const float half = static_cast<float>(degrees * 0.017453292519943295) * 0.5f;
    return {2.0f * std::tan(half) / static_cast<float>(windows.fullWidth), 0.0f, 0.0f};
}

RayCamera screenCamera(const Windows& windows, const ScreenWindow& screen) {
    return {screen.width / static_cast<float>(windows.fullWidth), screen.centreX, screen.centreY};
}

void convertDepthSamples(char* origin, std::size_t xStride, std::size_t yStride,
                         const Windows& windows, const DepthConvention& convention,
                         const RayCamera& camera) {
    if (convention.kind == Kind::Z)
        return;
    const float nearDepth = convention.nearDepth;
    const float farDepth = convention.farDepth;
    const float span = farDepth - nearDepth;
    const float centreX = displayCentre(windows.fullX, windows.fullWidth);
    const float centreY = displayCentre(windows.fullY, windows.fullHeight);
    for (int row = 0; row < windows.height; ++row) {
        char* sample = origin + static_cast<std::size_t>(row) * yStride;
        const float v = camera.centreY -
                        (static_cast<float>(windows.y + row) + 0.5f - centreY) * camera.perPixel;
        for (int column = 0; column < windows.width; ++column, sample += xStride) {
            float d = 0.0f;
            std::memcpy(&d, sample, sizeof d);
            float z = d;
            switch (convention.kind) {
            case Kind::Inverse:
                z = 1.0f / d;
                break;
            case Kind::Distance: {
                const float u =
                    camera.centreX +
                    (static_cast<float>(windows.x + column) + 0.5f - centreX) * camera.perPixel;
                z = d / std::sqrt(1.0f + u * u + v * v);
                break;
            }
            case Kind::Normalized:
                z = nearDepth + d * span;
                break;
            case Kind::NormalizedInverted:
                z = farDepth - d * span;
                break;
            case Kind::Z:
                break;
            }
            std::memcpy(sample, &z, sizeof z);
        }
    }
}

} // namespace umbrix
