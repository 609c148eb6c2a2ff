// The kernel of the modes that compare normals: every lane visits its neighbours in window order
// and subtracts with the float operations of the one-pixel-at-a-time test, the angle test
// comparing k with a threshold instead of forming acosf. Blocks that the flat columns or the
// normal boxes settle are not visited.

// Per-target include guard: compiled once for every instruction set.
#if defined(UMBRIX_PROCESS_WEIGHTED_WINDOWS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef UMBRIX_PROCESS_WEIGHTED_WINDOWS_INL_H_
#undef UMBRIX_PROCESS_WEIGHTED_WINDOWS_INL_H_
#else
#define UMBRIX_PROCESS_WEIGHTED_WINDOWS_INL_H_
#endif

#include "process/FalloffWeights-inl.h"
#include "process/FlatColumns-inl.h"
#include "process/NormalBoxes-inl.h"
#include "process/OcclusionSamples.h"
#include "process/WindowBlocks-inl.h"
#include "process/WindowRows.h"
#include "process/WindowSettings.h"

#include <cstddef>
#include <cstdint>
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::window {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Whether cosine terms k pass the angle test: k >= -1 && k < threshold.
template <class D> HWY_INLINE hn::Mask<D> anglePasses(D d, hn::Vec<D> k, float threshold) {
    return hn::And(hn::Ge(k, hn::Set(d, -1.0f)), hn::Lt(k, hn::Set(d, threshold)));
}

// The compared normals of a block's centre pixels.
template <class D> struct CentreNormals {
    hn::Vec<D> a0, a1, a2, inverse;

    CentreNormals(D d, const WindowRows& rows, std::ptrdiff_t centre)
        : a0(hn::LoadU(d, rows.normal0 + centre)), a1(hn::LoadU(d, rows.normal1 + centre)),
          a2(hn::LoadU(d, rows.normal2 + centre)), inverse(hn::LoadU(d, rows.inverse + centre)) {}

    // The cosine term k of the neighbours at `at`.
    HWY_INLINE hn::Vec<D> cosine(D d, const WindowRows& rows, std::ptrdiff_t at) const {
        const auto dot = hn::Add(hn::Add(hn::Mul(a0, hn::LoadU(d, rows.normal0 + at)),
                                         hn::Mul(a1, hn::LoadU(d, rows.normal1 + at))),
                                 hn::Mul(a2, hn::LoadU(d, rows.normal2 + at)));
        return hn::Div(dot, hn::Mul(inverse, hn::LoadU(d, rows.inverse + at)));
    }

    // Whether a neighbour with the centre's own normal passes the angle test. Equal components
    // give the centre's own dot product and 1 / (L x L), up to the sign of a zero product, which
    // changes no comparison of k; NaN components are never equal.
    hn::Mask<D> ownPasses(D d, float threshold) const {
        const auto dot = hn::Add(hn::Add(hn::Mul(a0, a0), hn::Mul(a1, a1)), hn::Mul(a2, a2));
        return anglePasses(d, hn::Div(dot, hn::Mul(inverse, inverse)), threshold);
    }
};

template <bool Inside, class D>
hn::Vec<D> weightedBlock(D d, std::int32_t x0, const WindowRows& rows, const BlockColumns& columns,
                         const WindowSettings& s) {
    const std::ptrdiff_t centre = rows.centre + x0;
    const auto c = hn::LoadU(d, rows.depth + centre);
    const CentreNormals<D> a(d, rows, centre);
    auto v = hn::Set(d, 1.0f);
    for (std::ptrdiff_t column = x0 + columns.first; column <= x0 + columns.last; ++column) {
        const auto inImage =
            Inside ? hn::FirstN(d, hn::Lanes(d)) : columnsInside(d, column, rows.width);
        std::ptrdiff_t at = column;
#pragma GCC unroll 4
        for (std::int32_t row = 0; row < rows.count; ++row, at += rows.stride) {
            const auto difference = hn::Sub(hn::LoadU(d, rows.depth + at), c);
            const auto band = inBand<Inside>(d, difference, inImage, s);
            if (hn::AllFalse(d, band))
                continue;
            const auto pass = hn::And(band, anglePasses(d, a.cosine(d, rows, at), s.threshold));
            if (!hn::AllFalse(d, pass))
                v = subtractWeighted(d, v, difference, pass, s);
        }
    }
    return v;
}

void weightedWindows(const OcclusionSamples& samples, std::int32_t y,
                     const WindowSettings& settings, float* values) {
    const WindowRows rows = windowRows(samples, y, settings.radius);
    const FlatColumns flat(samples, rows);
    const NormalBoxes boxes(hn::CappedTag<float, MaxLanes>(), rows);
    forEachBlock(rows, [&](auto d, std::int32_t x0, const BlockColumns& columns) {
        // Where every normal of the block's window is the centres' own and that normal does not
        // pass the angle test, or where no cosine term the window can form passes, nothing
        // subtracts.
        if ((flat.oneNormal(columns.leftmost, columns.rightmost) &&
             hn::AllFalse(d, CentreNormals<decltype(d)>(d, rows, rows.centre + x0)
                                 .ownPasses(d, settings.threshold))) ||
            boxes.neverPass(columns.leftmost, columns.rightmost, settings.threshold)) {
            hn::StoreU(hn::Set(d, 1.0f), d, values + x0);
            return;
        }
        const auto v = columns.inside ? weightedBlock<true>(d, x0, rows, columns, settings)
                                      : weightedBlock<false>(d, x0, rows, columns, settings);
        hn::StoreU(v, d, values + x0);
    });
}

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::window
HWY_AFTER_NAMESPACE();

#endif // UMBRIX_PROCESS_WEIGHTED_WINDOWS_INL_H_
