// The 1 / (L x L) terms of compared normals, vectorised across pixels with the same float
// operations, in the same order, as one normal at a time. They only ever meet comparisons, so a
// NaN's sign, which the compiler's ordering of operands may decide, never reaches the output.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "process/InverseLengths.cpp"
#include "process/InverseLengths.h"

#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::lengths {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

void inverseSquaredLengths(const float* n0, const float* n1, const float* n2, std::int32_t count,
                           float* inverse) {
    const hn::ScalableTag<float> d;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(d));
    const auto one = [&](auto dd, std::int32_t x) {
        const auto a = hn::LoadU(dd, n0 + x);
        const auto b = hn::LoadU(dd, n1 + x);
        const auto c = hn::LoadU(dd, n2 + x);
        const auto length = hn::Add(hn::Add(hn::Mul(a, a), hn::Mul(b, b)), hn::Mul(c, c));
        hn::StoreU(hn::Div(hn::Set(dd, 1.0f), hn::Mul(length, length)), dd, inverse + x);
    };
    std::int32_t x = 0;
    for (; count - x >= lanes; x += lanes)
        one(d, x);
    for (; x < count; ++x)
        one(hn::CappedTag<float, 1>(), x);
}

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::lengths
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace umbrix::process {

namespace lengths {
HWY_EXPORT(inverseSquaredLengths);
} // namespace lengths

void inverseSquaredLengths(const float* n0, const float* n1, const float* n2, std::int32_t count,
                           float* inverse) {
    HWY_DYNAMIC_DISPATCH(lengths::inverseSquaredLengths)(n0, n1, n2, count, inverse);
}

} // namespace umbrix::process

#endif
