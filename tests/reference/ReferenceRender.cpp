#include "tests/reference/ReferenceRender.h"

#include "tests/reference/ReferencePasses.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace reference {

namespace {

// Truncation toward zero. NaN and values beyond 32 bits have no defined conversion: the tool takes
// NaN as no radius and saturates the rest, and so does this.
std::int32_t truncatedRadius(double matrix) {
    if (std::isnan(matrix))
        return 0;
    const double whole = std::trunc(matrix);
    if (whole > double{std::numeric_limits<std::int32_t>::max()})
        return std::numeric_limits<std::int32_t>::max();
    if (whole < double{std::numeric_limits<std::int32_t>::min()})
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(whole);
}

ChunkValues chunkValues(const ReferenceControls& c) {
    return {truncatedRadius(c.Matrix),
            static_cast<float>(c.SmalDepth),
            static_cast<float>(c.Amount),
            static_cast<float>(c.DepthThreshold),
            static_cast<float>(c.NormalsZControll),
            static_cast<float>(c.NormalsAngleControll),
            static_cast<float>(c.UseNormals),
            static_cast<float>(c.FilterMethod),
            c.CamFOV};
}

// NaN compares unequal, so it is on; a double that rounds to 0.0f is off.
bool switchOn(double value) {
    return static_cast<float>(value) != 0.0f;
}

struct Selection {
    bool normals = false;
    bool occlusion = false;
    bool occlusionStarted = false;
};

// One run of the driver, rows in increasing order. One row after another, the occlusion window of
// row y would find rows y + 1 .. y + r - 1 still without their pre-occlusion content; the result
// must be the one any row order gives, which needs that content in place before any window reads
// it. So every row's pre-occlusion content (its normals, or the zeroed copy that opens the
// occlusion pass) is written first and every row's occlusion after; the occlusion writes only
// channel 3, which no window reads.
void run(Selection& passes, Image& source, Image& output, const ChunkValues& values) {
    const std::int32_t width = source.Width;
    const std::int32_t height = source.Height;
    for (std::int32_t y = 0; y < height; ++y) {
        PixelAccessor in(source);
        PixelAccessor out(output);
        if (passes.normals && width > 0)
            normalsRow(y, in, out, values, width, height);
        if (passes.occlusion) {
            passes.occlusionStarted = true;
            if (width > 0 && values.UseNormals == 0.0f)
                zeroedNormalsRow(y, in, out, width);
        }
    }
    for (std::int32_t y = 0; y < height; ++y) {
        PixelAccessor out(output);
        if (passes.occlusion && width > 0)
            occlusionRow(y, out, out, values, width, height);
    }
}

std::vector<int> extraChannels(const Image& image) {
    const std::vector<int>& all = minihost::channels(image);
    return {all.begin() + 4, all.end()};
}

} // namespace

minihost::ImagePtr referenceRender(const Image& source, const ReferenceControls& controls) {
    // The accessor's functions take a mutable image; the source is only ever read.
    Image& input = const_cast<Image&>(source);
    minihost::ImagePtr output =
        minihost::makeImage(source.Width, source.Height, extraChannels(source));
    const ChunkValues values = chunkValues(controls);

    Selection passes;
    passes.normals = switchOn(controls.UseNormals);
    passes.occlusion = switchOn(controls.UseSSAO);
    run(passes, input, *output, values);

    passes.normals = false;
    if (passes.occlusionStarted)
        passes.occlusion = false;
    run(passes, input, *output, values);
    return output;
}

} // namespace reference
