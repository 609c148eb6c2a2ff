// A skip of the weighted windows: where every window row of a block's columns holds one and the
// same normal, each neighbour's cosine term is the centre's own.

// Per-target include guard: compiled once for every instruction set.
#if defined(UMBRIX_PROCESS_FLAT_COLUMNS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef UMBRIX_PROCESS_FLAT_COLUMNS_INL_H_
#undef UMBRIX_PROCESS_FLAT_COLUMNS_INL_H_
#else
#define UMBRIX_PROCESS_FLAT_COLUMNS_INL_H_
#endif

#include "process/NormalSteps.h"
#include "process/OcclusionSamples.h"
#include "process/WindowBlocks-inl.h"
#include "process/WindowRows.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <hwy/highway.h>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace umbrix::process::window {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

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

} // namespace HWY_NAMESPACE
} // namespace umbrix::process::window
HWY_AFTER_NAMESPACE();

#endif // UMBRIX_PROCESS_FLAT_COLUMNS_INL_H_
