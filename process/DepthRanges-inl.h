// The skip of the counted windows: a window row whose depth range puts every neighbour of a
// block inside the depth band, or every one outside it, is counted at once.

// Per-target include guard: compiled once for every instruction set.
#if defined(UMBRIX_PROCESS_DEPTH_RANGES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef UMBRIX_PROCESS_DEPTH_RANGES_INL_H_
#undef UMBRIX_PROCESS_DEPTH_RANGES_INL_H_
#else
#define UMBRIX_PROCESS_DEPTH_RANGES_INL_H_
#endif

#include "process/ValueRange-inl.h"
#include "process/WindowRows.h"
#include "process/WindowSettings.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <hwy/highway.h>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::window {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// The depth range of every window row's blocks of `lanes` columns.
class BlockRanges {
  public:
    template <class D>
    BlockRanges(D d, const WindowRows& rows)
        : Lanes(static_cast<std::int32_t>(hn::Lanes(d))), Blocks((rows.width + Lanes - 1) / Lanes),
          Reach(static_cast<std::size_t>(rows.count) * static_cast<std::size_t>(Blocks)) {
        const std::int32_t whole = rows.width / Lanes;
        for (std::int32_t row = 0; row < rows.count; ++row) {
            const float* depth = rows.depth + row * rows.stride;
            for (std::int32_t k = 0; k < whole; ++k) {
                const auto v = hn::LoadU(d, depth + k * Lanes);
                at(row, k) = hn::AllFalse(d, hn::IsNaN(v))
                                 ? Range{hn::GetLane(hn::MinOfLanes(d, v)),
                                         hn::GetLane(hn::MaxOfLanes(d, v))}
                                 : Unknown;
            }
            if (whole < Blocks)
                at(row, whole) = partRange(depth + whole * Lanes, rows.width - whole * Lanes);
        }
    }

    // The range of the neighbours window row `row` holds for the centres x0 .. x0 + lanes - 1,
    // taken over whole blocks, so never narrower than theirs.
    Range neighbours(std::int32_t row, std::int32_t x0, std::int32_t radius) const {
        const std::int32_t first = std::max(x0 - radius, 0) / Lanes;
        const std::int64_t reach = std::int64_t{x0} + Lanes - 1 + radius - 1;
        const auto last =
            static_cast<std::int32_t>(std::min<std::int64_t>(reach / Lanes, Blocks - 1));
        Range range = at(row, first);
        for (std::int32_t k = first + 1; k <= last; ++k)
            range.widen(at(row, k));
        return range;
    }

  private:
    Range& at(std::int32_t row, std::int32_t k) {
        return Reach[static_cast<std::size_t>(row) * static_cast<std::size_t>(Blocks) +
                     static_cast<std::size_t>(k)];
    }
    const Range& at(std::int32_t row, std::int32_t k) const {
        return Reach[static_cast<std::size_t>(row) * static_cast<std::size_t>(Blocks) +
                     static_cast<std::size_t>(k)];
    }

    std::int32_t Lanes;
    std::int32_t Blocks;
    std::vector<Range> Reach;
};

// What a window row does for a whole block of centres, judged from depth ranges alone. Every
// difference D = n - c of a neighbour n in [nLow, nHigh] and a centre c in [cLow, cHigh] lies in
// [fl(nLow - cHigh), fl(nHigh - cLow)], rounding being monotone; NaN anywhere decides nothing.
enum class RowVerdict { NoneCount, AllCount, Mixed };

RowVerdict rowVerdict(Range n, float cLow, float cHigh, const WindowSettings& s) {
    const float least = n.low - cHigh;
    const float most = n.high - cLow;
    if (most < s.low || least > s.high)
        return RowVerdict::NoneCount;
    if (least >= s.low && most <= s.high)
        return RowVerdict::AllCount;
    return RowVerdict::Mixed;
}

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::window
HWY_AFTER_NAMESPACE();

#endif // UMBRIX_PROCESS_DEPTH_RANGES_INL_H_
