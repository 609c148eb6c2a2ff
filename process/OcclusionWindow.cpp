// The occlusion windows, vectorised across neighbouring centre pixels: lane l of a block holds
// centre pixel x0 + l and keeps its own v, and every lane visits its neighbours in window order
// (column offsets outer, row offsets inner) and subtracts with the same float operations as the
// one-pixel-at-a-time test. The angle test compares k with a threshold instead of forming acosf,
// the falloff weight is formed only for neighbours that subtract, and a block is not visited at
// all where its window holds one normal that cannot pass the angle test, or normals whose ranges
// show that none can. "disabled" only counts, in any order, and counts whole window rows at once
// where their depth range settles every lane. Compiled once per instruction set; the best one the
// machine runs is picked at the first call.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "process/OcclusionWindow.cpp"
#include "process/OcclusionWindow.h"

#include "process/FalloffWeight.h"
#include "process/WindowRows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>
#include <limits>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace umbrix_window {
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

// Whether cosine terms k pass the angle test: k >= -1 && k < threshold.
template <class D> HWY_INLINE hn::Mask<D> anglePasses(D d, hn::Vec<D> k, float threshold) {
    return hn::And(hn::Ge(k, hn::Set(d, -1.0f)), hn::Lt(k, hn::Set(d, threshold)));
}

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

// Three normal arrays: the components as channels 0, 1 and 2 hold them.
struct NormalArrays {
    const float* c0;
    const float* c1;
    const float* c2;
};

// Bit l set where the normal at a[x + l] equals the one at b[x + l], every component equal.
template <class D>
HWY_INLINE std::uint64_t equalBits(D d, const NormalArrays& a, const NormalArrays& b,
                                   std::ptrdiff_t x) {
    const auto same = [&](const float* p, const float* q) {
        return hn::Eq(hn::LoadU(d, p + x), hn::LoadU(d, q + x));
    };
    std::uint8_t packed[8] = {};
    hn::StoreMaskBits(d, hn::And(hn::And(same(a.c0, b.c0), same(a.c1, b.c1)), same(a.c2, b.c2)),
                      packed);
    std::uint64_t bits = 0;
    std::memcpy(&bits, packed, sizeof bits);
    constexpr std::size_t lanes = hn::MaxLanes(D());
    return lanes >= 64 ? bits : bits & ((std::uint64_t{1} << lanes) - 1);
}

// equalBits for columns 0 .. width - 1 into `words` words. Lanes is a power of two up to 64, so a
// block's bits never straddle two words.
void equalColumns(const NormalArrays& a, const NormalArrays& b, std::int32_t width,
                  std::size_t words, std::uint64_t* bits) {
    const hn::CappedTag<float, MaxLanes> d;
    const auto lanes = static_cast<std::int32_t>(hn::Lanes(d));
    std::fill_n(bits, words, std::uint64_t{0});
    std::int32_t x = 0;
    for (; width - x >= lanes; x += lanes)
        bits[x / 64] |= equalBits(d, a, b, x) << (x % 64);
    for (; x < width; ++x)
        bits[x / 64] |= equalBits(hn::CappedTag<float, 1>(), a, b, x) << (x % 64);
}

NormalArrays normalRow(const OcclusionSamples& samples, std::int32_t y) {
    return {samples.normal(0, y), samples.normal(1, y), samples.normal(2, y)};
}

// Columns whose window rows all hold one normal, and how they join up.
class FlatColumns {
  public:
    FlatColumns(const OcclusionSamples& samples, const WindowRows& rows);

    // Whether columns first .. last all hold one and the same normal in every window row.
    bool oneNormal(std::ptrdiff_t first, std::ptrdiff_t last) const {
        return bitAt(Flat, first) && allSet(Continues, first + 1, last);
    }

  private:
    static bool bitAt(const std::vector<std::uint64_t>& bits, std::ptrdiff_t x) {
        return (bits[static_cast<std::size_t>(x / 64)] >> (x % 64)) & 1;
    }

    static bool allSet(const std::vector<std::uint64_t>& bits, std::ptrdiff_t first,
                       std::ptrdiff_t last) {
        for (std::ptrdiff_t x = first; x <= last;) {
            const std::ptrdiff_t end = std::min(last, x / 64 * 64 + 63);
            const std::uint64_t ones = ~std::uint64_t{0} >> (63 - (end - x)) << (x % 64);
            if ((bits[static_cast<std::size_t>(x / 64)] & ones) != ones)
                return false;
            x = end + 1;
        }
        return true;
    }

    // A column is flat when every window row holds the normal of the first (components equal as
    // floats, so no NaN); it continues a run when it is flat and its first row holds the normal of
    // the column before's.
    std::vector<std::uint64_t> Flat;
    std::vector<std::uint64_t> Continues;
};

FlatColumns::FlatColumns(const OcclusionSamples& samples, const WindowRows& rows) {
    NormalSteps& steps = samples.steps();
    const auto words = static_cast<std::size_t>(steps.words());
    const std::int32_t width = rows.width;
    Flat.assign(words, ~std::uint64_t{0});
    Continues.assign(words, 0);
    const auto form = [&](std::int32_t y, std::uint64_t* bits) {
        equalColumns(normalRow(samples, y), normalRow(samples, y + 1), width, words, bits);
    };
    for (std::int32_t y = rows.top; y < rows.top + rows.count - 1; ++y) {
        const std::uint64_t* bits = steps.row(y, form);
        for (std::size_t w = 0; w < words; ++w)
            Flat[w] &= bits[w];
    }
    // Bit x: the first row's normal at x equals the one at x - 1. At x = 0 this compares with the
    // slack or the row before's last pixel, and no range checks column 0's bit.
    const NormalArrays first{rows.normal0, rows.normal1, rows.normal2};
    const NormalArrays left{rows.normal0 - 1, rows.normal1 - 1, rows.normal2 - 1};
    equalColumns(first, left, width, words, Continues.data());
    for (std::size_t w = 0; w < words; ++w)
        Continues[w] &= Flat[w];
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

void WeightedWindows(const OcclusionSamples& samples, std::int32_t y,
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

void CountedWindows(const OcclusionSamples& samples, std::int32_t y, const WindowSettings& settings,
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

void FalloffWeights(const float* t, std::size_t count, float* weights) {
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

const char* InstructionSet() {
    return hwy::TargetName(HWY_TARGET);
}

} // namespace HWY_NAMESPACE
} // namespace umbrix_window
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace umbrix_window {
HWY_EXPORT(WeightedWindows);
HWY_EXPORT(CountedWindows);
HWY_EXPORT(FalloffWeights);
HWY_EXPORT(InstructionSet);
} // namespace umbrix_window

void weightedWindows(const OcclusionSamples& samples, std::int32_t y,
                     const WindowSettings& settings, float* values) {
    HWY_DYNAMIC_DISPATCH(umbrix_window::WeightedWindows)(samples, y, settings, values);
}

void countedWindows(const OcclusionSamples& samples, std::int32_t y, const WindowSettings& settings,
                    std::int32_t* counts) {
    HWY_DYNAMIC_DISPATCH(umbrix_window::CountedWindows)(samples, y, settings, counts);
}

void windowFalloffWeights(const float* t, std::size_t count, float* weights) {
    HWY_DYNAMIC_DISPATCH(umbrix_window::FalloffWeights)(t, count, weights);
}

const char* windowInstructionSet() {
    return HWY_DYNAMIC_DISPATCH(umbrix_window::InstructionSet)();
}

#endif
