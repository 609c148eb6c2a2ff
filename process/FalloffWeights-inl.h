// How a neighbour that subtracts is weighed: Amount times the falloff weight of its depth
// difference, the weight formed in double across a block where the narrowed quotient is known to
// be powf's (falloff::fastWeight), one lane at a time elsewhere.

// Per-target include guard: compiled once for every instruction set.
#if defined(UMBRIX_PROCESS_FALLOFF_WEIGHTS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef UMBRIX_PROCESS_FALLOFF_WEIGHTS_INL_H_
#undef UMBRIX_PROCESS_FALLOFF_WEIGHTS_INL_H_
#else
#define UMBRIX_PROCESS_FALLOFF_WEIGHTS_INL_H_
#endif

#include "process/FalloffWeight.h"
#include "process/WindowBlocks-inl.h"
#include "process/WindowSettings.h"

#include <cstddef>
#include <cstdint>
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::window {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// The falloff weight of the lanes in `pass`, one lane at a time; other lanes get 0, which no lane
// uses.
template <class D> hn::Vec<D> laneWeights(D d, hn::Vec<D> t, hn::Mask<D> pass) {
    HWY_ALIGN float tLanes[MaxLanes];
    HWY_ALIGN float weights[MaxLanes] = {};
    std::uint8_t passBits[(MaxLanes + 7) / 8] = {};
    hn::Store(t, d, tLanes);
    hn::StoreMaskBits(d, pass, passBits);
    for (std::size_t lane = 0; lane < hn::Lanes(d); ++lane)
        if ((passBits[lane / 8] >> (lane % 8)) & 1)
            weights[lane] = falloffWeight(tLanes[lane]);
    return hn::Load(d, weights);
}

#if HWY_TARGET != HWY_SCALAR

// falloff::fastWeight for half a block: the narrowed quotient, NaN where it is not known to equal
// powf's result.
template <class DH> hn::Vec<DH> fastHalf(DH dh, hn::Vec<DH> t) {
    const hn::Rebind<double, DH> dd;
    const hn::RebindToSigned<decltype(dd)> di;
    const auto wide = hn::PromoteTo(dd, t);
    const auto quotient = hn::Div(hn::Set(dd, 1.0), hn::Mul(wide, wide));
    const auto tail =
        hn::And(hn::BitCast(di, quotient), hn::Set(di, std::int64_t{falloff::TailBits}));
    constexpr auto nearFirst = static_cast<std::int64_t>(falloff::Middle - falloff::NearMiddle);
    constexpr auto nearLast = static_cast<std::int64_t>(falloff::Middle + falloff::NearMiddle - 1);
    const auto near =
        hn::And(hn::Gt(tail, hn::Set(di, nearFirst - 1)), hn::Lt(tail, hn::Set(di, nearLast + 1)));
    const auto known = hn::IfThenElse(hn::RebindMask(dd, near),
                                      hn::Set(dd, hwy::HighestValue<double>()), quotient);
    // The largest double narrows to infinity, which no weight of [FastFirst, FastEnd) is.
    const auto weight = hn::DemoteTo(dh, known);
    const auto inRange = hn::And(hn::Ge(t, hn::Set(dh, falloff::FastFirst)),
                                 hn::Lt(t, hn::Set(dh, falloff::FastEnd)));
    return hn::IfThenElse(hn::And(inRange, hn::IsFinite(weight)), weight, hn::NaN(dh));
}

// The falloff weight of the lanes in `pass`, formed in double across the block where the
// narrowed quotient is known to be powf's; the other lanes in `pass` one at a time.
template <class D> hn::Vec<D> passWeights(D d, hn::Vec<D> t, hn::Mask<D> pass) {
    if constexpr (hn::MaxLanes(D()) < 2) {
        return laneWeights(d, t, pass);
    } else {
        const hn::Half<D> dh;
        const auto weight =
            hn::Combine(d, fastHalf(dh, hn::UpperHalf(dh, t)), fastHalf(dh, hn::LowerHalf(dh, t)));
        const auto slow = hn::And(pass, hn::IsNaN(weight));
        if (HWY_LIKELY(hn::AllFalse(d, slow)))
            return weight;
        return hn::IfThenElse(slow, laneWeights(d, t, slow), weight);
    }
}

#else

template <class D> hn::Vec<D> passWeights(D d, hn::Vec<D> t, hn::Mask<D> pass) {
    return laneWeights(d, t, pass);
}

#endif

// v after the lanes in `pass` have subtracted their weighted amount. Rare, so kept out of the
// loop.
template <class D>
HWY_NOINLINE hn::Vec<D> subtractWeighted(D d, hn::Vec<D> v, hn::Vec<D> difference, hn::Mask<D> pass,
                                         const WindowSettings& s) {
    const auto t = hn::Add(hn::Div(difference, hn::Set(d, s.scale)), hn::Set(d, 1.0f));
    const auto w = passWeights(d, t, pass);
    return hn::IfThenElse(pass, hn::Sub(v, hn::Mul(w, hn::Set(d, s.amount))), v);
}

void falloffWeights(const float* t, std::size_t count, float* weights) {
    const auto each = [&](auto d, std::size_t at) {
        hn::StoreU(passWeights(d, hn::LoadU(d, t + at), hn::FirstN(d, hn::Lanes(d))), d,
                   weights + at);
    };
    const hn::CappedTag<float, MaxLanes> d;
    std::size_t at = 0;
    for (; count - at >= hn::Lanes(d); at += hn::Lanes(d))
        each(d, at);
    for (; at < count; ++at)
        each(hn::CappedTag<float, 1>(), at);
}

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::window
HWY_AFTER_NAMESPACE();

#endif // UMBRIX_PROCESS_FALLOFF_WEIGHTS_INL_H_
