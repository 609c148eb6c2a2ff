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
    for (const FrameChannel& channel : frame.channels)
        block += fmt::format("\n  {} -> {} ({})", channel.format.name, roleOf(channel.number),
                             channel.number);
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
