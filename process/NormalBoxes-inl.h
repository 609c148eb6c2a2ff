// A skip of the weighted windows: where the ranges of a block's normals show that no cosine term
// can pass the angle test, nothing subtracts.

// Per-target include guard: compiled once for every instruction set.
#if defined(UMBRIX_PROCESS_NORMAL_BOXES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef UMBRIX_PROCESS_NORMAL_BOXES_INL_H_
#undef UMBRIX_PROCESS_NORMAL_BOXES_INL_H_
#else
#define UMBRIX_PROCESS_NORMAL_BOXES_INL_H_
#endif

#include "process/ValueRange-inl.h"
#include "process/WindowRows.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <hwy/highway.h>
#include <limits>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::window {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// The range of each compared quantity (the three normal components and 1 / (L x L)) over the
// window rows, per block of `lanes` columns: enough to show that no cosine term of a block's
// windows can pass the angle test where the normals vary little. Calculated normals are never
// exactly equal across a plane, so the flat test rarely applies to them; this does.
class NormalBoxes {
  public:
    template <class D> NormalBoxes(D d, const WindowRows& rows);

    // Whether every k of centres and neighbours within columns first .. last is at least the
    // threshold, so that none passes. From the ranges alone, in double, with room for the float
    // rounding of k: each of its three products and two sums is off by at most u = 2^-24 of their
    // magnitudes, so the dot product by at most 3.01 u of the sum of |products|, and the product of
    // the inverse terms and the quotient by u each.
    bool neverPass(std::ptrdiff_t first, std::ptrdiff_t last, float threshold) const;

  private:
    // Normal components 0, 1 and 2, then 1 / (L x L).
    using Box = std::array<Range, 4>;
    static constexpr float Infinity = std::numeric_limits<float>::infinity();

    std::int32_t Lanes;
    std::vector<Box> Boxes;
};

template <class D> NormalBoxes::NormalBoxes(D d, const WindowRows& rows) {
    Lanes = static_cast<std::int32_t>(hn::Lanes(d));
    const std::int32_t whole = rows.width / Lanes;
    const float* arrays[4] = {rows.normal0, rows.normal1, rows.normal2, rows.inverse};
    Boxes.resize(static_cast<std::size_t>((rows.width + Lanes - 1) / Lanes));
    for (std::int32_t k = 0; k < whole; ++k) {
        Box& box = Boxes[static_cast<std::size_t>(k)];
        for (int a = 0; a < 4; ++a) {
            auto low = hn::Set(d, Infinity);
            auto high = hn::Set(d, -Infinity);
            for (std::int32_t row = 0; row < rows.count; ++row) {
                const auto v = hn::LoadU(d, arrays[a] + row * rows.stride + k * Lanes);
                const auto nan = hn::IsNaN(v);
                low = hn::Min(low, hn::IfThenElse(nan, hn::Set(d, -Infinity), v));
                high = hn::Max(high, hn::IfThenElse(nan, hn::Set(d, Infinity), v));
            }
            box[a] = {hn::GetLane(hn::MinOfLanes(d, low)), hn::GetLane(hn::MaxOfLanes(d, high))};
        }
    }
    if (whole < static_cast<std::int32_t>(Boxes.size())) {
        Box& box = Boxes.back();
        for (int a = 0; a < 4; ++a) {
            box[a] = Empty;
            for (std::int32_t row = 0; row < rows.count; ++row)
                box[a].widen(partRange(arrays[a] + row * rows.stride + whole * Lanes,
                                       rows.width - whole * Lanes));
        }
    }
}

bool NormalBoxes::neverPass(std::ptrdiff_t first, std::ptrdiff_t last, float threshold) const {
    Box box = Boxes[static_cast<std::size_t>(first / Lanes)];
    for (std::ptrdiff_t k = first / Lanes + 1; k <= last / Lanes; ++k)
        for (int a = 0; a < 4; ++a)
            box[a].widen(Boxes[static_cast<std::size_t>(k)][a]);
    constexpr double u = 0x1p-24;
    double dotLow = 0.0, magnitude = 0.0;
    for (int a = 0; a < 3; ++a) {
        const double low = box[a].low, high = box[a].high;
        dotLow += std::min({low * low, low * high, high * high});
        magnitude += std::max(low * low, high * high);
    }
    const double inverseHigh = box[3].high;
    const double dotFloor = dotLow - 3.01 * u * magnitude;
    // Past these bounds (or with NaN, which fails both) the margins above are not shown to hold.
    if (!(box[3].low > 0.0f && inverseHigh < 1e15 && magnitude < 1e30 && dotFloor > 1e-20))
        return false;
    const double kLow = dotFloor / (inverseHigh * inverseHigh * (1.0 + u)) * (1.0 - u);
    return kLow >= threshold;
}

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::window
HWY_AFTER_NAMESPACE();

#endif // UMBRIX_PROCESS_NORMAL_BOXES_INL_H_
