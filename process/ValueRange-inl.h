// Ranges of floats, from which the depth ranges and the normal boxes prove that a block can be
// settled without visiting its neighbours.

// Per-target include guard: compiled once for every instruction set.
#if defined(UMBRIX_PROCESS_VALUE_RANGE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef UMBRIX_PROCESS_VALUE_RANGE_INL_H_
#undef UMBRIX_PROCESS_VALUE_RANGE_INL_H_
#else
#define UMBRIX_PROCESS_VALUE_RANGE_INL_H_
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <hwy/highway.h>
#include <limits>

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::window {
namespace HWY_NAMESPACE {

// The smallest and largest of some floats; -infinity to +infinity where one is NaN, which settles
// nothing.
struct Range {
    float low, high;

    void widen(const Range& other) {
        low = std::min(low, other.low);
        high = std::max(high, other.high);
    }
};

constexpr Range Unknown{-std::numeric_limits<float>::infinity(),
                        std::numeric_limits<float>::infinity()};
constexpr Range Empty{std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity()};

// The range of values[0 .. count - 1].
Range partRange(const float* values, std::int32_t count) {
    Range range = Empty;
    for (std::int32_t l = 0; l < count; ++l) {
        if (std::isnan(values[l]))
            return Unknown;
        range.widen({values[l], values[l]});
    }
    return range;
}

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::window
HWY_AFTER_NAMESPACE();

#endif // UMBRIX_PROCESS_VALUE_RANGE_INL_H_
