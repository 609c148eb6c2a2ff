#include "app/core/RunReport.h"

#include "app/Console.h"
#include "app/core/ControlSetting.h"
#include "app/core/FrameSource.h"
#include "app/core/RenderWarnings.h"

#include <fmt/format.h>

namespace umbrix {

void printWarnings(const Warnings& warnings) {
    for (const Warning& warning : warnings)
        console::warning(warning.text);
}

void describeRun(const Frame& frame, const std::string& shown, const ControlValues& values,
                 const DepthConvention& depth) {
    std::string block = fmt::format("{}: channel -> role (number)", shown);
    if (frame.views.empty())
        for (const FrameChannel& channel : frame.channels)
            block += fmt::format("\n  {} -> {} ({})", channel.format.name, roleOf(channel.number),
                                 channel.number);
    for (const FrameView& view : frame.views) {
        const std::string part =
            view.part >= 0
                ? fmt::format(" (part {})", frame.parts[static_cast<std::size_t>(view.part)])
                : "";
        block += fmt::format("\nview {}{}{}{}", view.name, view.isDefault ? " (default)" : "", part,
                             view.rendered ? ""
                             : view.chosen ? ": carried, it has no depth"
                                           : ": carried, not named by --view");
        const auto listed = [&](const std::string& name, int number) {
            if (view.rendered)
                block += fmt::format("\n  {} -> {} ({})", name, roleOf(number), number);
            else
                block += fmt::format("\n  {} -> carried", name);
        };
        if (view.part < 0)
            for (const std::size_t i : view.channels)
                listed(frame.channels[i].format.name, view.map.numbers[i]);
        else
            for (const FrameChannel& channel : view.frame ? view.frame->channels : frame.channels)
                listed(channel.format.name, channel.number);
    }
    block += fmt::format("\ndepth read as {}", depthConventionText(depth));
    if (depth.kind == DepthConvention::Kind::Distance)
        block += fmt::format(", along each ray of {}",
                             depthCamera(frame, values[control::CamFOV]).source);
    block += "\ncontrols in effect:";
    for (const ControlValues::Entry& entry : values.entries())
        if (entry.info->dataType == "Number")
            block += fmt::format("\n  {} = {}", entry.info->id,
                                 describedValue(*entry.info, entry.value));
    console::message(block);
}

} // namespace umbrix
