#include "app/core/RenderWarnings.h"

#include "app/core/ControlSetting.h"
#include "contract/Controls.h"

#include <array>
#include <cmath>
#include <cstring>
#include <fmt/format.h>
#include <optional>
#include <vector>

namespace umbrix {

namespace {

// As the tool reads its controls: as floats, "Matrix" and "CamFOV" aside.
float toolValue(const ControlValues& values, std::string_view id) {
    return static_cast<float>(values[id]);
}

bool comparesRenderedNormals(const ControlValues& values) {
    const bool useNormals = switchedOn(toolValue(values, control::UseNormals));
    return switchedOn(toolValue(values, control::UseSSAO)) &&
           comparedNormals(toolValue(values, control::FilterMethod), useNormals) ==
               ComparedNormals::Rendered;
}

// A NaN z control leaves every normal's z NaN.
std::optional<std::string> normalsSpoiler(const ControlValues& values) {
    const double fov = values[control::CamFOV];
    const float sine = halfAngleSine(fov);
    if (sine == 0.0f || std::isnan(sine))
        return fmt::format("CamFOV={} makes every calculated normal NaN (R G B of the output)",
                           fov);
    const double zControl = values[control::NormalsZ];
    if (std::isnan(static_cast<float>(zControl)))
        return fmt::format("NormalsZControll={} makes the z of every calculated normal NaN (R of "
                           "the output)",
                           zControl);
    return std::nullopt;
}

std::string channelsOf(const Frame& frame) {
    std::vector<std::string> names;
    for (const FrameChannel& channel : frame.channels)
        names.push_back(channel.format.name);
    return names.empty() ? "no channels" : fmt::format("{}", fmt::join(names, " "));
}

bool hasSuppliedNormal(const ChannelMap& map) {
    for (int k = 0; k < NormalComponents; ++k)
        if (map.names[static_cast<std::size_t>(SuppliedNormalX + k)].empty())
            return false;
    return true;
}

Warning noSuppliedNormals(const std::string& subject) {
    return {Warning::Kind::NoSuppliedNormals,
            fmt::format("{} has no supplied normals (N.X N.Y N.Z, N.x..., N.R N.G N.B, Normal.X... "
                        "or *.Normal.X...): with FilterMethod \"Rendered Normals\" occlusion "
                        "reads them as 0. Use --set FilterMethod=\"Calculated Normals\", or name "
                        "them with --map NAME=normal.x (normal.y, normal.z)",
                        subject)};
}

// Whether every finite depth sample(x, y) lies within [0, 1], and there is one.
template <typename Sample> bool depthWithinUnit(const Windows& windows, const Sample& sample) {
    bool finite = false;
    for (int y = 0; y < windows.height; ++y)
        for (int x = 0; x < windows.width; ++x) {
            const float d = sample(x, y);
            if (!std::isfinite(d))
                continue;
            // Stops at the first value outside: planar depth in scene units is seldom all within.
            if (d < 0.0f || d > 1.0f)
                return false;
            finite = true;
        }
    return finite;
}

Warning depthWithinUnitWarning(const std::string& subject) {
    return {Warning::Kind::DepthWithinUnit,
            fmt::format("{}: every depth value lies within [0, 1]; the tool reads planar depth in "
                        "scene units. If it is normalised or inverse depth, say so with --depth "
                        "normalized:NEAR:FAR, normalized-inverted:NEAR:FAR or inverse",
                        subject)};
}

// Views rendered apart from the source image, as warnings name them.
std::vector<std::pair<const FrameView*, std::string>> viewsApart(const Frame& frame,
                                                                 const std::string& shown) {
    std::vector<std::pair<const FrameView*, std::string>> views;
    for (std::size_t v = 0; v < frame.views.size(); ++v)
        if (rendersApart(frame, v))
            views.emplace_back(&frame.views[v],
                               fmt::format("{}: view {}", shown, frame.views[v].name));
    return views;
}

bool isNormal(int number) {
    return number >= SuppliedNormalX && number < SuppliedNormalX + NormalComponents;
}

// Another channel could have been the depth, or the normal (`normal`), and was passed over.
void warnAboutPassedOver(Warnings& warnings, const Frame& frame, const std::string& shown,
                         bool normal) {
    std::vector<std::string> ignored, picks;
    for (const ChannelMap::PassedOver& other : frame.map.passedOver)
        if (isNormal(other.number) == normal) {
            ignored.push_back(other.name);
            picks.push_back(fmt::format("--map {}={}", other.name, roleName(other.number)));
        }
    if (ignored.empty())
        return;
    const int first = normal ? SuppliedNormalX : DepthChannel;
    const int count = normal ? NormalComponents : 1;
    std::vector<std::string> used;
    for (int number = first; number < first + count; ++number)
        used.push_back(frame.map.names[static_cast<std::size_t>(number)]);
    const std::string usedText = fmt::format("{}", fmt::join(used, " "));
    const std::string ignoredText = fmt::format("{}", fmt::join(ignored, " "));
    warnings.push_back({normal ? Warning::Kind::NormalPassedOver : Warning::Kind::DepthPassedOver,
                        fmt::format("{}: {} and {} could both be the {}; using {}, ignoring {} "
                                    "(pick with {})",
                                    shown, usedText, ignoredText, normal ? "normal" : "depth",
                                    usedText, ignoredText, fmt::join(picks, " "))});
}

} // namespace

Warnings controlWarnings(const ControlValues& values) {
    Warnings warnings;
    for (const ControlValues::Entry& entry : values.entries()) {
        const auto& info = *entry.info;
        if (info.dataType == "Number" && !withinDeclaredRange(info, entry.value))
            warnings.push_back({Warning::Kind::ControlOutOfRange,
                                fmt::format("{}={} is outside the control's range ({}); the tool "
                                            "gets it as it is",
                                            info.id, entry.value, declaredRange(info))});
    }
    const bool normals = switchedOn(toolValue(values, control::UseNormals));
    if (!normals && !switchedOn(toolValue(values, control::UseSSAO)))
        warnings.push_back({Warning::Kind::BothPassesOff,
                            "UseNormals and UseSSAO are both off: the tool writes nothing, so the "
                            "output will be all zeros, every channel"});
    if (normals)
        if (const auto spoiler = normalsSpoiler(values))
            warnings.push_back({Warning::Kind::NormalsNaN, *spoiler});
    return warnings;
}

Warnings channelWarnings(const Frame& frame, const std::string& shown,
                         const ControlValues& values) {
    Warnings warnings;
    if (!frame.map.hasDepth)
        warnings.push_back({Warning::Kind::NoDepth,
                            fmt::format("{} has no depth channel (Z, depth.Z, Depth.Z or "
                                        "*.Depth.Z; it has {}): depth reads as 0 everywhere. Name "
                                        "one with --map NAME=depth",
                                        shown, channelsOf(frame))});
    if (frame.map.depthIsOnlyChannel)
        warnings.push_back({Warning::Kind::DepthFromOnlyChannel,
                            fmt::format("{}: its only channel, Y, is taken as the depth (a depth "
                                        "map); say how it measures depth with --depth",
                                        shown)});
    if (comparesRenderedNormals(values)) {
        if (!hasSuppliedNormal(frame.map))
            warnings.push_back(noSuppliedNormals(shown));
        for (const auto& [view, subject] : viewsApart(frame, shown))
            if (!hasSuppliedNormal(view->map))
                warnings.push_back(noSuppliedNormals(subject));
    }
    warnAboutPassedOver(warnings, frame, shown, false);
    warnAboutPassedOver(warnings, frame, shown, true);
    for (const FrameView& view : frame.views)
        if (view.chosen && !view.rendered)
            warnings.push_back({Warning::Kind::ViewWithoutDepth,
                                fmt::format("{}: view {} has no depth channel; its channels are "
                                            "carried, not rendered",
                                            shown, view.name)});
    return warnings;
}

Warnings depthWarnings(const Frame& frame, const std::string& shown,
                       const DepthConvention& convention) {
    if (convention.kind != DepthConvention::Kind::Z)
        return {};
    Warnings warnings;
    if (frame.map.hasDepth) {
        const PlaneSlice depth = imageSlice(*frame.image, DepthChannel);
        if (depthWithinUnit(frame.windows, [&](int x, int y) {
                float d = 0.0f;
                std::memcpy(&d,
                            depth.origin + static_cast<std::size_t>(y) * depth.yStride +
                                static_cast<std::size_t>(x) * depth.xStride,
                            sizeof d);
                return d;
            }))
            warnings.push_back(depthWithinUnitWarning(shown));
    }
    // Another view's depth is among the carried planes, or in its part's frame.
    for (const auto& [view, subject] : viewsApart(frame, shown)) {
        if (view->frame) {
            if (view->frame->image)
                for (Warning& warning : depthWarnings(*view->frame, subject, convention))
                    warnings.push_back(std::move(warning));
            continue;
        }
        for (std::size_t i = 0; i < frame.channels.size(); ++i) {
            const FrameChannel& channel = frame.channels[i];
            if (view->map.numbers[i] != DepthChannel || channel.carried < 0)
                continue;
            const CarriedPlane& plane = frame.carried[static_cast<std::size_t>(channel.carried)];
            if (depthWithinUnit(frame.windows, [&](int x, int y) {
                    return sampleAsFloat(plane.bytes.get() +
                                             static_cast<std::size_t>(y) * plane.yStride +
                                             static_cast<std::size_t>(x) * plane.xStride,
                                         channel.format.type);
                }))
                warnings.push_back(depthWithinUnitWarning(subject));
        }
    }
    return warnings;
}

std::string roleOf(int number) {
    static const std::array<const char*, ResultChannels> results = {
        "normal z (result)", "normal y (result)", "normal x (result)", "occlusion (result)"};
    if (number >= 0 && number < ResultChannels)
        return results[static_cast<std::size_t>(number)];
    const std::string_view role = roleName(number);
    return role.empty() ? "carried" : std::string(role);
}

} // namespace umbrix
