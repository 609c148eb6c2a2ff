// What both kernels share: blocks of neighbouring centre pixels, one per lane, and the masks of
// the lanes whose neighbour lies inside the image and in the depth band.

// Per-target include guard: compiled once for every instruction set.
#if defined(UMBRIX_PROCESS_WINDOW_BLOCKS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef UMBRIX_PROCESS_WINDOW_BLOCKS_INL_H_
#undef UMBRIX_PROCESS_WINDOW_BLOCKS_INL_H_
#else
#define UMBRIX_PROCESS_WINDOW_BLOCKS_INL_H_
#endif

#include "process/OcclusionSamples.h"
#include "process/WindowRows.h"
#include "process/WindowSettings.h"

#include <cstddef>
#include <cstdint>
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::window {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Blocks of at most Slack + 1 lanes, so that a load starting Slack columns left of the image
// stays inside the buffer's allocation.
constexpr std::size_t MaxLanes = 16;
static_assert(MaxLanes <= OcclusionSamples::Slack + 1);

// Lanes whose neighbour column x0 + lane + offset lies inside the image.
template <class D> hn::Mask<D> columnsInside(D d, std::ptrdiff_t column, std::int32_t width) {
    const hn::RebindToSigned<D> di;
    const auto lane = hn::Iota(di, 0);
    // column lies in [-(lanes - 1), width - 1] here, so both bounds fit.
    const auto beforeFirst = hn::Set(di, static_cast<std::int32_t>(-column - 1));
    const auto afterLast = hn::Set(di, static_cast<std::int32_t>(width - column));
    return hn::RebindMask(d, hn::And(hn::Gt(lane, beforeFirst), hn::Lt(lane, afterLast)));
}

// Neighbours in the depth band: D in [low, high], and inside the image unless every lane is.
template <bool Inside, class D>
HWY_INLINE hn::Mask<D> inBand(D d, hn::Vec<D> difference, hn::Mask<D> inImage,
                              const WindowSettings& s) {
    const auto band =
        hn::And(hn::Ge(difference, hn::Set(d, s.low)), hn::Le(difference, hn::Set(d, s.high)));
    return Inside ? band : hn::And(band, inImage);
}

// Runs `block(d, x0, columns)` over the row in full blocks, then the remaining pixels one lane at a
// time.
template <class Block> void forEachBlock(const WindowRows& rows, const Block& block) {
    const hn::CappedTag<float, MaxLanes> d;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(d));
    std::int32_t x0 = 0;
    for (; rows.width - x0 >= lanes; x0 += lanes)
        block(d, x0, blockColumns(x0, lanes, rows));
    for (; x0 < rows.width; ++x0)
        block(hn::CappedTag<float, 1>(), x0, blockColumns(x0, 1, rows));
}

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::window
HWY_AFTER_NAMESPACE();

#endif // UMBRIX_PROCESS_WINDOW_BLOCKS_INL_H_
