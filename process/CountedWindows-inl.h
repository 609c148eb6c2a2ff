// The kernel of "disabled" mode: it only counts the neighbours in the depth band, which is exact
// in any order.

// Per-target include guard: compiled once for every instruction set.
#if defined(UMBRIX_PROCESS_COUNTED_WINDOWS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef UMBRIX_PROCESS_COUNTED_WINDOWS_INL_H_
#undef UMBRIX_PROCESS_COUNTED_WINDOWS_INL_H_
#else
#define UMBRIX_PROCESS_COUNTED_WINDOWS_INL_H_
#endif

#include "process/DepthRanges-inl.h"
#include "process/OcclusionSamples.h"
#include "process/WindowBlocks-inl.h"
#include "process/WindowRows.h"
#include "process/WindowSettings.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::window {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// How many window columns of each lane lie inside the image.
template <class DI> hn::Vec<DI> columnsInImage(DI di, std::int32_t x0, const WindowRows& rows) {
    const auto x = hn::Add(hn::Iota(di, 0), hn::Set(di, x0));
    // A radius beyond the width reaches the same columns as the width does.
    const auto radius = hn::Set(di, std::min(rows.radius, rows.width));
    const auto last =
        hn::Min(hn::Add(x, hn::Sub(radius, hn::Set(di, 1))), hn::Set(di, rows.width - 1));
    const auto first = hn::Max(hn::Sub(x, radius), hn::Zero(di));
    return hn::Add(hn::Sub(last, first), hn::Set(di, 1));
}

// Counting is exact in any order, so a block goes row by row, and a row whose depth range settles
// every lane's test at once costs no neighbour tests.
template <bool Inside, class D>
hn::Vec<hn::RebindToSigned<D>> countedBlock(D d, std::int32_t x0, const WindowRows& rows,
                                            const BlockColumns& columns, const WindowSettings& s,
                                            const BlockRanges* ranges) {
    const hn::RebindToSigned<D> di;
    const auto c = hn::LoadU(d, rows.depth + rows.centre + x0);
    const float cLow = hn::GetLane(hn::MinOfLanes(d, c));
    const float cHigh = hn::GetLane(hn::MaxOfLanes(d, c));
    const bool judged = ranges && hn::AllFalse(d, hn::IsNaN(c));
    auto count = hn::Zero(di);
    for (std::int32_t row = 0; row < rows.count; ++row) {
        if (judged) {
            const RowVerdict verdict =
                rowVerdict(ranges->neighbours(row, x0, rows.radius), cLow, cHigh, s);
            if (verdict == RowVerdict::NoneCount)
                continue;
            if (verdict == RowVerdict::AllCount) {
                count = hn::Add(count, columnsInImage(di, x0, rows));
                continue;
            }
        }
        const float* depth = rows.depth + row * rows.stride;
        for (std::ptrdiff_t column = x0 + columns.first; column <= x0 + columns.last; ++column) {
            const auto inImage =
                Inside ? hn::FirstN(d, hn::Lanes(d)) : columnsInside(d, column, rows.width);
            const auto difference = hn::Sub(hn::LoadU(d, depth + column), c);
            const auto band = inBand<Inside>(d, difference, inImage, s);
            // A true lane is all ones, -1 as an integer.
            count = hn::Sub(count, hn::VecFromMask(di, hn::RebindMask(di, band)));
        }
    }
    return count;
}

void countedWindows(const OcclusionSamples& samples, std::int32_t y, const WindowSettings& settings,
                    std::int32_t* counts) {
    const WindowRows rows = windowRows(samples, y, settings.radius);
    const hn::CappedTag<float, MaxLanes> blocks;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(blocks));
    const BlockRanges ranges(blocks, rows);
    forEachBlock(rows, [&](auto d, std::int32_t x0, const BlockColumns& columns) {
        const hn::RebindToSigned<decltype(d)> di;
        // Ranges are kept for whole blocks; the last pixels go one at a time, tested one by one.
        const BlockRanges* judge =
            hn::Lanes(d) == static_cast<std::size_t>(lanes) ? &ranges : nullptr;
        const auto n = columns.inside ? countedBlock<true>(d, x0, rows, columns, settings, judge)
                                      : countedBlock<false>(d, x0, rows, columns, settings, judge);
        hn::StoreU(n, di, counts + x0);
    });
}

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::window
HWY_AFTER_NAMESPACE();

#endif // UMBRIX_PROCESS_COUNTED_WINDOWS_INL_H_
