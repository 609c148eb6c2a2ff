// The normals of a whole row, vectorised across neighbouring pixels with the float operations of
// normalFromDepths in the same order, which gives the same bits wherever the result is a number.
// Where a NaN comes out, its sign depends on which operand of an operation the compiler puts
// first, so those pixels are formed again by the normals pass's own one-pixel function.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "process/RowNormals.cpp"
#include "process/NormalGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef UMBRIX_ROW_NORMALS_ONCE
#define UMBRIX_ROW_NORMALS_ONCE
namespace umbrix::process::normals {
StoredNormal oneNormal(const RowGeometry& row, float h, float left, float right, float above,
                       float below);
} // namespace umbrix::process::normals
#endif

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::normals {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Where the lanes of one call read: h, the four neighbour depths, and where they write.
struct LanePointers {
    const float* h;
    const float* left;
    const float* right;
    const float* above;
    const float* below;
    float* c0;
    float* c1;
    float* c2;
};

template <class D> void lanesNormals(D d, const RowGeometry& row, const LanePointers& at) {
    const auto h = hn::LoadU(d, at.h);
    const auto s = hn::Set(d, row.s);
    const auto g = hn::Set(d, row.g);
    const auto f = hn::Set(d, row.f);
    // L = (h - s, g, left), R = (h + s, g, right), U = (h, g - f, above), D = (h, g + f, below);
    // a = R - L, b = D - U.
    const auto ax = hn::Sub(hn::Add(h, s), hn::Sub(h, s));
    const auto ay = hn::Sub(g, g);
    const auto az = hn::Sub(hn::LoadU(d, at.right), hn::LoadU(d, at.left));
    const auto bx = hn::Sub(h, h);
    const auto by = hn::Sub(hn::Add(g, f), hn::Sub(g, f));
    const auto bz = hn::Sub(hn::LoadU(d, at.below), hn::LoadU(d, at.above));
    const auto nx = hn::Sub(hn::Mul(ay, bz), hn::Mul(az, by));
    const auto ny = hn::Sub(hn::Set(d, -0.0f), hn::Sub(hn::Mul(ax, bz), hn::Mul(az, bx)));
    const auto nz = hn::Sub(hn::Mul(ax, by), hn::Mul(ay, bx));
    const auto length = hn::Add(hn::Add(hn::Mul(ny, ny), hn::Mul(nx, nx)), hn::Mul(nz, nz));
    const auto k = hn::Div(hn::Set(d, 1.0f), hn::Sqrt(length));
    const auto z = hn::Mul(nz, k);
    const auto scaled = hn::Mul(z, hn::Set(d, 1.0f / row.Q));
    const auto c0 = hn::IfThenElse(hn::Gt(z, hn::Set(d, row.Q)), hn::Set(d, 1.0f), scaled);
    const auto c1 = hn::Mul(ny, k);
    const auto c2 = hn::Mul(nx, k);
    hn::StoreU(c0, d, at.c0);
    hn::StoreU(c1, d, at.c1);
    hn::StoreU(c2, d, at.c2);
    const auto nan = hn::Or(hn::Or(hn::IsNaN(c0), hn::IsNaN(c1)), hn::IsNaN(c2));
    if (HWY_LIKELY(hn::AllFalse(d, nan)))
        return;
    for (std::size_t lane = 0; lane < hn::Lanes(d); ++lane) {
        if (!std::isnan(at.c0[lane]) && !std::isnan(at.c1[lane]) && !std::isnan(at.c2[lane]))
            continue;
        const StoredNormal n = oneNormal(row, at.h[lane], at.left[lane], at.right[lane],
                                         at.above[lane], at.below[lane]);
        at.c0[lane] = n.c0;
        at.c1[lane] = n.c1;
        at.c2[lane] = n.c2;
    }
}

void rowNormalsAt(const RowGeometry& row, const float* h, const DepthRows& depths,
                  std::int32_t width, const RowNormals& out) {
    const auto pointers = [&](std::int32_t x, std::int32_t left, std::int32_t right) {
        return LanePointers{
            h + x,      depths.own + left, depths.own + right, depths.above + x, depths.below + x,
            out.c0 + x, out.c1 + x,        out.c2 + x};
    };
    const hn::CappedTag<float, 1> one;
    // The edge pixels read themselves for the missing neighbour.
    const auto edge = [&](std::int32_t x) {
        lanesNormals(one, row, pointers(x, std::max(x - 1, 0), std::min(x + 1, width - 1)));
    };
    if (width < 1)
        return;
    edge(0);
    const hn::ScalableTag<float> d;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(d));
    std::int32_t x = 1;
    for (; width - 1 - x >= lanes; x += lanes)
        lanesNormals(d, row, pointers(x, x - 1, x + 1));
    for (; x < width - 1; ++x)
        lanesNormals(one, row, pointers(x, x - 1, x + 1));
    if (width > 1)
        edge(width - 1);
}

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::normals
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace umbrix::process {

namespace normals {
HWY_EXPORT(rowNormalsAt);

// Out of line and built for the baseline, as the normals pass is.
__attribute__((noinline)) StoredNormal oneNormal(const RowGeometry& row, float h, float left,
                                                 float right, float above, float below) {
    return normalFromDepths(row, h, left, right, above, below);
}

} // namespace normals

void columnCoordinates(float s, std::int32_t width, float* h) {
    float sum = 0.0f;
    for (std::int32_t x = 0; x < width; ++x) {
        h[x] = sum;
        sum = sum + s;
    }
}

void rowNormals(const RowGeometry& row, const float* h, const DepthRows& depths, std::int32_t width,
                const RowNormals& out) {
    HWY_DYNAMIC_DISPATCH(normals::rowNormalsAt)(row, h, depths, width, out);
}

} // namespace umbrix::process

#endif
