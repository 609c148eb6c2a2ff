#pragma once

#include <bit>
#include <cstdint>

namespace testsupport {

// A float's bit pattern, so that comparisons tell signs of zero and NaNs apart.
inline std::uint32_t bits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

} // namespace testsupport
