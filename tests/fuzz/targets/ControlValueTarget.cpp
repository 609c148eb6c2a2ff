// A --set value for each control: the first byte picks the control, the rest is the value as
// typed. A value that parses is set, described as -v describes it, and rendered on a small frame.

#include "app/Failure.h"
#include "app/commands/ControlSetting.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <fmt/format.h>
#include <string>

namespace {

// Depth rising to the right and down, with a step, and a supplied normal: every pass has work.
minihost::ImagePtr smallFrame() {
    constexpr int Size = 12;
    minihost::ImagePtr image = minihost::makeImage(Size, Size, {4, 10, 11, 12});
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            minihost::sample(*image, x, y, 4) =
                1.0f + 0.01f * static_cast<float>(x + y) + (x > Size / 2 ? 0.25f : 0.0f);
            minihost::sample(*image, x, y, 12) = 1.0f;
        }
    return image;
}

std::vector<Input*> valueControls(const umbrix::ToolSession& tool) {
    std::vector<Input*> controls;
    for (Input* control : tool.controls())
        if (minihost::info(*control).dataType == "Number")
            controls.push_back(control);
    return controls;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    umbrix::ToolSession& tool = fuzzsupport::tool();
    const std::vector<Input*> controls = valueControls(tool);
    const minihost::ControlInfo& info = minihost::info(*controls[data[0] % controls.size()]);
    const std::string_view value(reinterpret_cast<const char*>(data) + 1, size - 1);
    umbrix::ControlSetting setting;
    try {
        setting =
            umbrix::parseControlSetting(fmt::format("{}={}", info.id, value), tool.controls());
    } catch (const umbrix::UsageError& e) {
        fuzzsupport::checkMessage(e);
        return 0;
    }
    FUZZ_CHECK(setting.control == controls[data[0] % controls.size()]);
    tool.set(*setting.control, setting.value);
    (void)umbrix::describedValue(info, setting.value);
    (void)umbrix::withinDeclaredRange(info, setting.value);
    static const minihost::ImagePtr source = smallFrame();
    const minihost::ImagePtr result = tool.render(*source, 0.0);
    FUZZ_CHECK(result != nullptr);
    return 0;
}
