#include "process/AngleThreshold.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace umbrix::process {

namespace {

// Floats in increasing order map to increasing integers; -0.0 and +0.0 share 0.
std::int32_t orderedKey(float value) {
    const auto bits = std::bit_cast<std::int32_t>(value);
    return bits >= 0 ? bits : -(bits & 0x7fffffff);
}

float fromOrderedKey(std::int32_t key) {
    if (key >= 0)
        return std::bit_cast<float>(key);
    return std::bit_cast<float>(static_cast<std::uint32_t>(-key) | 0x80000000u);
}

} // namespace

float angleDegrees(float k) {
    return static_cast<float>(static_cast<double>(acosf(k)) * 57.29577951308232);
}

float angleThreshold(float limit) {
    std::int32_t first = orderedKey(-1.0f);
    std::int32_t last = orderedKey(1.0f) + 1; // the float after 1: nothing in range stops
    while (first < last) {
        const std::int32_t middle = first + (last - first) / 2;
        if (angleDegrees(fromOrderedKey(middle)) > limit)
            first = middle + 1;
        else
            last = middle;
    }
    return fromOrderedKey(first);
}

} // namespace umbrix::process
