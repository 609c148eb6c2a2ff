// A settings file (--settings): read, applied, saved (--save-settings) and read back, which must
// give every control the same value to the bit.

#include "app/Failure.h"
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
    const umbrix::Tool& tool = fuzzsupport::tool();
    const std::string input = fuzzsupport::scratchFile("look.json", data, size);
    umbrix::ControlValues values = tool.defaults();
    try {
        values.applySettingsFile(input);
    } catch (const umbrix::UsageError& e) {
        fuzzsupport::checkMessage(e);
        return 0;
    } catch (const umbrix::RunError& e) {
        fuzzsupport::checkMessage(e);
        return 0;
    }
    const std::string saved = fuzzsupport::scratchPath("saved.json");
    values.save(saved);
    umbrix::ControlValues again = tool.defaults();
    again.applySettingsFile(saved);
    for (std::size_t k = 0; k < values.entries().size(); ++k)
        FUZZ_CHECK(sameValue(values.entries()[k].value, again.entries()[k].value));
    return 0;
}
