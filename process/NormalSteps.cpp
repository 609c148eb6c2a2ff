#include "process/NormalSteps.h"

void NormalSteps::reset(std::int32_t width, std::int32_t height) {
    Words = (width + 63) / 64;
    const auto rows = static_cast<std::size_t>(height > 0 ? height : 0);
    const std::size_t words = static_cast<std::size_t>(Words) * rows;
    if (words > WordCapacity) {
        Bits.reset();
        WordCapacity = 0;
        Bits = std::make_unique<std::uint64_t[]>(words);
        WordCapacity = words;
    }
    if (rows > RowCapacity) {
        States.reset();
        RowCapacity = 0;
        States = std::make_unique<std::atomic<std::uint8_t>[]>(rows);
        RowCapacity = rows;
    }
    for (std::size_t y = 0; y < rows; ++y)
        States[y].store(Unformed, std::memory_order_relaxed);
}
