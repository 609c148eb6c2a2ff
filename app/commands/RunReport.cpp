#include "app/commands/RunReport.h"

#include "app/Console.h"
#include "app/commands/ControlSetting.h"

#include <array>
#include <cmath>
#include <fmt/format.h>
#include <vector>

namespace umbrix {

namespace {

double valueOf(const ToolSession& tool, std::string_view id) {
    const Input* in = tool.control(id);
    return in ? minihost::value(*in) : 0.0;
}

// As the tool reads its controls: as floats, a switch on unless zero, the combo's "Rendered
// Normals" only at exactly zero.
bool switchedOn(const ToolSession& tool, std::string_view id) {
    return static_cast<float>(valueOf(tool, id)) != 0.0f;
}

bool comparesRenderedNormals(const ToolSession& tool) {
    return switchedOn(tool, "UseSSAO") && static_cast<float>(valueOf(tool, "FilterMethod")) == 0.0f;
}

// The tool spaces pixels by the sine of half the field of view, in floats: at zero or NaN every
// calculated normal is NaN. A NaN z control leaves every normal's z NaN.
std::optional<std::string> normalsSpoiler(const ToolSession& tool) {
    const double fov = valueOf(tool, "CamFOV");
    const float halfAngleSine = std::sin(static_cast<float>(fov * 0.017453292519943295) * 0.5f);
    if (halfAngleSine == 0.0f || std::isnan(halfAngleSine))
        return fmt::format("CamFOV={} makes every calculated normal NaN (R G B of the output)",
                           fov);
    const double zControl = valueOf(tool, "NormalsZControll");
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

bool hasSuppliedNormal(const Frame& frame) {
    for (int k = 0; k < NormalComponents; ++k)
        if (frame.map.names[static_cast<std::size_t>(SuppliedNormalX + k)].empty())
            return false;
    return true;
}

bool isNormal(int number) {
    return number >= SuppliedNormalX && number < SuppliedNormalX + NormalComponents;
}

// Another channel could have been the depth, or the normal (`normal`), and was passed over.
void warnAboutPassedOver(const Frame& frame, const std::string& shown, bool normal) {
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
    console::warning(fmt::format("{}: {} and {} could both be the {}; using {}, ignoring {} (pick "
                                 "with {})",
                                 shown, usedText, ignoredText, normal ? "normal" : "depth",
                                 usedText, ignoredText, fmt::join(picks, " ")));
}

std::string roleOf(int number) {
    static const std::array<const char*, ResultChannels> results = {
        "normal z (result)", "normal y (result)", "normal x (result)", "occlusion (result)"};
    if (number >= 0 && number < ResultChannels)
        return results[static_cast<std::size_t>(number)];
    const std::string_view role = roleName(number);
    return role.empty() ? "carried" : std::string(role);
}

} // namespace

void warnAboutControls(const ToolSession& tool) {
    for (Input* in : tool.controls()) {
        const auto& info = minihost::info(*in);
        if (info.dataType == "Number" && !withinDeclaredRange(info, minihost::value(*in)))
            console::warning(fmt::format("{}={} is outside the control's range ({}); the tool "
                                         "gets it as it is",
                                         info.id, minihost::value(*in), declaredRange(info)));
    }
    const bool normals = switchedOn(tool, "UseNormals");
    if (!normals && !switchedOn(tool, "UseSSAO"))
        console::warning("UseNormals and UseSSAO are both off: the tool writes nothing, so the "
                         "output will be all zeros, every channel");
    if (normals)
        if (const auto spoiler = normalsSpoiler(tool))
            console::warning(*spoiler);
}

void warnAboutChannels(const Frame& frame, const std::string& shown, const ToolSession& tool) {
    if (!frame.map.hasDepth)
        console::warning(fmt::format("{} has no depth channel (Z, depth.Z, Depth.Z or "
                                     "*.Depth.Z; it has {}): depth reads as 0 everywhere. Name "
                                     "one with --map NAME=depth",
                                     shown, channelsOf(frame)));
    if (comparesRenderedNormals(tool) && !hasSuppliedNormal(frame))
        console::warning(fmt::format(
            "{} has no supplied normals (N.X N.Y N.Z, N.x..., N.R N.G N.B, Normal.X... or "
            "*.Normal.X...): with FilterMethod \"Rendered Normals\" occlusion reads them as 0. Use "
            "--set FilterMethod=\"Calculated Normals\", or name them with --map NAME=normal.x "
            "(normal.y, normal.z)",
            shown));
    warnAboutPassedOver(frame, shown, false);
    warnAboutPassedOver(frame, shown, true);
}

void describeRun(const Frame& frame, const std::string& shown, const ToolSession& tool) {
    std::string block = fmt::format("{}: channel -> role (number)", shown);
    for (const FrameChannel& channel : frame.channels)
        block += fmt::format("\n  {} -> {} ({})", channel.format.name, roleOf(channel.number),
                             channel.number);
    block += "\ncontrols in effect:";
    for (Input* in : tool.controls()) {
        const auto& info = minihost::info(*in);
        if (info.dataType == "Number")
            block +=
                fmt::format("\n  {} = {}", info.id, describedValue(info, minihost::value(*in)));
    }
    console::message(block);
}

} // namespace umbrix
