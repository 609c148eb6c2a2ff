#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace umbrix::process {

// powf(t, -2) of the C library, bit for bit, mostly without calling it.
//
// Over [FastFirst, FastEnd) the quotient 1 / (t * t) is formed in double (t * t is exact there) and
// narrowed to float. That is the correctly rounded weight unless the quotient lies near the middle
// between two floats, where powf, which is not correctly rounded, may round the other way: those t
// and every t outside the range go to powf. A test compares the result with powf for every float
// in the range. The occlusion pass reaches t = D / (threshold / 10) + 1 in [1, 15], infinity or
// NaN.
namespace falloff {

inline constexpr float FastFirst = 1.0f;
inline constexpr float FastEnd = 16.0f;
// The 29 bits a double carries beyond a float's: powf may disagree with the narrowed quotient only
// when they lie within NearMiddle of the half-way pattern (the last disagreement in the range sits
// 874989 from it).
inline constexpr std::uint64_t TailBits = 0x1fffffff;
inline constexpr std::uint64_t Middle = 0x10000000;
inline constexpr std::uint64_t NearMiddle = 0x400000;

// The narrowed quotient, and whether it is known to equal powf's result.
inline bool fastWeight(float t, float& weight) {
    if (!(t >= FastFirst && t < FastEnd))
        return false;
    const double quotient = 1.0 / (static_cast<double>(t) * static_cast<double>(t));
    const std::uint64_t tail = std::bit_cast<std::uint64_t>(quotient) & TailBits;
    weight = static_cast<float>(quotient);
    return tail - (Middle - NearMiddle) >= 2 * NearMiddle;
}

} // namespace falloff

inline float falloffWeight(float t) {
    float weight;
    if (falloff::fastWeight(t, weight))
        return weight;
    return powf(t, -2.0f);
}

} // namespace umbrix::process
