#include "process/NormalSteps.h"

namespace umbrix::process {

void NormalSteps::reset(std::int32_t width, std::int32_t height) {
    Words = (width + 63) / 64;
    const std::size_t words =
        static_cast<std::size_t>(Words) * static_cast<std::size_t>(height > 0 ? height : 0);
    if (words > Capacity) {
        Bits.reset();
        Capacity = 0;
        Bits = std::make_unique<std::uint64_t[]>(words);
        Capacity = words;
    }
    Formed.reset(height);
}

} // namespace umbrix::process
