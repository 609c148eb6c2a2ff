#include "process/OcclusionSamples.h"

#include "process/NormalGeometry.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>

namespace umbrix::process {
#endif

namespace {

// The windows of one row read 2r rows of five arrays: with small pages that is more pages than the
// processor keeps translations for, so the buffer asks for large ones where the system has them.
constexpr std::size_t LargePage = std::size_t{2} << 20;

float* allocateFloats(std::size_t floats) {
    const std::size_t bytes = (floats * sizeof(float) + LargePage - 1) / LargePage * LargePage;
    void* memory = std::aligned_alloc(LargePage, bytes);
    if (!memory)
        throw std::bad_alloc();
#if defined(__linux__)
    madvise(memory, bytes, MADV_HUGEPAGE);
#endif
    // Zeros, so that the slack a masked load touches holds defined values.
    std::memset(memory, 0, bytes);
    return static_cast<float*>(memory);
}

} // namespace

void OcclusionSamples::Release::operator()(float* memory) const {
    std::free(memory);
}

void OcclusionSamples::reset(std::int32_t width, std::int32_t height) {
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixels > Capacity) {
        const std::size_t limit = std::numeric_limits<std::ptrdiff_t>::max() / sizeof(float) / 8;
        if (pixels > limit)
            throw std::bad_alloc();
        Memory.reset();
        Capacity = 0;
        const std::size_t arrayFloats = pixels + 2 * Slack;
        Memory.reset(allocateFloats(Arrays * arrayFloats));
        Capacity = pixels;
        ArrayFloats = arrayFloats;
    }
    Steps.reset(width, height);
    NormalRows.reset(height);
    ColumnsOnce.reset(1);
    Columns.resize(static_cast<std::size_t>(width));
    Width = width;
    Height = height;
}

const float* OcclusionSamples::columnCoordinates(float s, std::vector<float>& scratch) {
    ColumnsOnce.ensure(0, [&](std::int32_t) {
        process::columnCoordinates(s, Width, Columns.data());
        ColumnStep = std::bit_cast<std::uint32_t>(s);
    });
    if (ColumnStep == std::bit_cast<std::uint32_t>(s))
        return Columns.data();
    scratch.resize(static_cast<std::size_t>(Width));
    process::columnCoordinates(s, Width, scratch.data());
    return scratch.data();
}

} // namespace umbrix::process
