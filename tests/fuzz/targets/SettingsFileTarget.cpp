// A settings file (--settings): read, applied, saved (--save-settings) and read back, which must
// give every control the same value to the bit.

#include "app/Failure.h"
#include "app/commands/SettingsFile.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

bool sameValue(double a, double b) {
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    umbrix::ToolSession& tool = fuzzsupport::tool();
    const std::vector<Input*> controls = tool.controls();
    const std::string input = fuzzsupport::scratchFile("look.json", data, size);
    std::vector<umbrix::ControlSetting> settings;
    try {
        settings = umbrix::readSettingsFile(input, controls);
    } catch (const umbrix::UsageError& e) {
        fuzzsupport::checkMessage(e);
        return 0;
    } catch (const umbrix::RunError& e) {
        fuzzsupport::checkMessage(e);
        return 0;
    }
    for (const umbrix::ControlSetting& setting : settings)
        tool.set(*setting.control, setting.value);
    const std::string saved = fuzzsupport::scratchPath("saved.json");
    umbrix::saveSettingsFile(saved, controls);
    for (const umbrix::ControlSetting& setting : umbrix::readSettingsFile(saved, controls))
        FUZZ_CHECK(sameValue(setting.value, minihost::value(*setting.control)));
    return 0;
}
