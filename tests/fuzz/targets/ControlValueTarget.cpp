// A --set value for each control: the first byte picks the control, the rest is the value as
// typed. A value that parses is set, described as -v describes it, and rendered on a small frame.

#include "app/Failure.h"
#include "app/core/ControlSetting.h"
#include "app/core/FrameSource.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <fmt/format.h>
#include <string>
#include <vector>

namespace {

// Depth rising to the right and down, with a step, and a supplied normal: every pass has work.
std::shared_ptr<const umbrix::Frame> smallFrame() {
    constexpr int Size = 12;
    static std::vector<float> depth(Size * Size);
    static std::vector<float> normal(Size * Size * 3);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            depth[y * Size + x] =
                1.0f + 0.01f * static_cast<float>(x + y) + (x > Size / 2 ? 0.25f : 0.0f);
            normal[(y * Size + x) * 3 + 2] = 1.0f;
        }
    return umbrix::frameFromMemory({Size, Size, depth, normal, {}, "fuzz"});
}

std::vector<Input*> valueControls(const umbrix::Tool& tool) {
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
    const umbrix::Tool& tool = fuzzsupport::tool();
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
    umbrix::ControlValues values = tool.defaults();
    values.set(info.id, setting.value, "fuzz");
    (void)umbrix::describedValue(info, setting.value);
    (void)umbrix::withinDeclaredRange(info, setting.value);
    static const std::shared_ptr<const umbrix::Frame> source = smallFrame();
    const umbrix::Rendered result = tool.render(source, values);
    FUZZ_CHECK(result.image != nullptr);
    return 0;
}
